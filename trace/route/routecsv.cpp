#include "route/decimalmark.h"
#include "route/route.h"
#include "route/routeread.h"
#include "route/spreadsheettext.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

// A route as a spreadsheet saves it: a header naming the columns, one point a row, the
// separator, the decimal mark and the text's encoding whatever the spreadsheet chose.
namespace Route {

namespace {

// One line of a CSV split at its separator; a field in double quotes may hold it.
QStringList fields(const QString &line, QChar separator)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == separator && !quoted) {
            out << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    out << field.trimmed();
    return out;
}

// "rota.csv, linha 12": where a message points, counting from 1.
QString lineAt(const QString &path, int line)
{
    return QStringLiteral("%1, linha %2").arg(path).arg(line);
}

// The columns of a route's CSV, in the order of the header a message asks for.
enum Column { Name, Type, Distance, Lat, Lon, Loop };
const QStringList Wanted{QStringLiteral("nome"),
                         QStringLiteral("tipo"),
                         QStringLiteral("distancia_m"),
                         QStringLiteral("lat"),
                         QStringLiteral("lon"),
                         QStringLiteral("reserva_m")};
constexpr Column Numeric[] = {Distance, Lat, Lon, Loop};

// A length (distance, loop) may group its thousands; a coordinate never does.
bool isLength(Column column)
{
    return column == Distance || column == Loop;
}

// The header's names, split at the separator that splits it into the most of the columns
// wanted, and where each wanted column stands.
struct Header
{
    QChar separator;
    QStringList names;
    int found = -1;
    QVector<int> column; // by Column; -1 where the header lacks it
};

Header headerOf(const QString &line)
{
    Header h;
    for (const QChar candidate : {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')}) {
        QStringList split;
        for (const QString &name : fields(line, candidate))
            split << name.toLower();
        const int found = int(std::count_if(
            Wanted.cbegin(), Wanted.cend(), [&](const QString &w) { return split.contains(w); }));
        if (found > h.found) {
            h.found = found;
            h.separator = candidate;
            h.names = split;
        }
    }
    for (const QString &w : Wanted)
        h.column << int(h.names.indexOf(w));
    return h;
}

// Why a header cannot be used (tabs between its names, a column missing); empty if it can.
QString headerProblem(const Header &h, const QString &at)
{
    if (h.separator == QLatin1Char('\t') && h.found > 1)
        return QStringLiteral("%1: o separador dos campos é a tabulação; salve a planilha "
                              "como CSV com o separador ';' (ou ',')")
            .arg(at);
    for (const QString &w : Wanted) {
        if (!h.names.contains(w))
            return QStringLiteral("%1: falta a coluna \"%2\" (o cabeçalho é %3, separado por "
                                  "';' ou ',')")
                .arg(at, w, Wanted.join(QLatin1Char(';')));
    }
    return QString();
}

// A row with more fields than the header; with ',' between fields, most likely decimal commas
// left unquoted.
QString tooManyFields(const QString &at, int count, const Header &h)
{
    return h.separator == QLatin1Char(',')
               ? QStringLiteral("%1: %2 campos, e o cabeçalho tem %3: com ',' "
                                "separando os campos, uma vírgula decimal sem aspas "
                                "parte os números e não se sabe onde cada um acaba; "
                                "salve com ';' entre os campos, ou com ponto decimal")
                     .arg(at)
                     .arg(count)
                     .arg(h.names.size())
               : QStringLiteral("%1: %2 campos, e o cabeçalho tem %3")
                     .arg(at)
                     .arg(count)
                     .arg(h.names.size());
}

// The decimal marks the file's numbers show, each with the first field that shows it: lengths
// and coordinates apart, as only lengths group thousands.
struct MarksSeen
{
    QString lengthComma;
    QString lengthPoint;
    QString coordinateComma;
    QString coordinatePoint;

    void note(Column column, const QString &text, const QString &at)
    {
        const Written w = writtenAs(text);
        const bool length = isLength(column);
        if (w.decimal == Mark::Unknown || (length && w.grouping))
            return;
        QString &seen = w.decimal == Mark::Comma ? (length ? lengthComma : coordinateComma)
                                                 : (length ? lengthPoint : coordinatePoint);
        if (seen.isEmpty())
            seen = QStringLiteral("%1 (\"%2\")").arg(at, text);
    }

    // The file's own mark for a length like "1,500": its other lengths', else its coordinates'.
    Mark lengthMark() const
    {
        const auto only = [](const QString &comma, const QString &point) {
            return !comma.isEmpty() && point.isEmpty()   ? Mark::Comma
                   : comma.isEmpty() && !point.isEmpty() ? Mark::Point
                                                         : Mark::Unknown;
        };
        Mark mark = only(lengthComma, lengthPoint);
        if (mark == Mark::Unknown && lengthComma.isEmpty() && lengthPoint.isEmpty())
            mark = only(coordinateComma, coordinatePoint);
        return mark;
    }

    // "vírgula decimal", "vírgula e ponto decimais"; empty where no number has a mark.
    QString text() const
    {
        const bool commas = !lengthComma.isEmpty() || !coordinateComma.isEmpty();
        const bool points = !lengthPoint.isEmpty() || !coordinatePoint.isEmpty();
        return commas && points ? QStringLiteral("vírgula e ponto decimais")
               : commas         ? markText(Mark::Comma)
               : points         ? markText(Mark::Point)
                                : QString();
    }
};

struct Row
{
    int line = 0;
    QStringList fields;
};

// The file's rows split at the header's separator, and the marks their numbers show: all of
// them are seen before any number is read.
struct Table
{
    Header header;
    QVector<Row> rows;
    MarksSeen marks;
};

// Fills the table from the lines after the header; why not where a row has too many fields.
QString splitRows(const QStringList &lines, int header, const QString &path, Table &table)
{
    for (int n = header + 1; n < lines.size(); ++n) {
        if (lines.at(n).trimmed().isEmpty())
            continue;
        const QString at = lineAt(path, n + 1);
        const QStringList f = fields(lines.at(n), table.header.separator);
        if (f.size() > table.header.names.size())
            return tooManyFields(at, int(f.size()), table.header);
        for (const Column column : Numeric)
            table.marks.note(column, f.value(table.header.column.value(column)).trimmed(), at);
        table.rows.append({n + 1, f});
    }
    return QString();
}

// "CSV, separador ';', vírgula decimal, UTF-8".
QString readAsText(QChar separator, const QString &marks, const QString &encoding)
{
    return QStringLiteral("CSV, separador '%1', %2%3")
        .arg(separator == QLatin1Char(';') ? QStringLiteral(";") : QStringLiteral(","),
             marks.isEmpty() ? QString() : marks + QStringLiteral(", "),
             encoding);
}

// A length like "1,500" that nothing in the file decides, with both readings as a user would
// write them: "1,5 ou 1500".
QString undecided(const QString &at, const QString &text, Mark decimal)
{
    bool any = true;
    const double small = number(text, decimal, any).value_or(0);
    return QStringLiteral("%1: \"%2\" pode ser %3 ou %4, e nenhum outro número do "
                          "arquivo diz qual; escreva-o com outro número de casas "
                          "decimais")
        .arg(at,
             text.trimmed(),
             QString::number(small, 'g', 12).replace(QLatin1Char('.'), QLatin1Char(',')),
             QString(text.trimmed()).remove(QLatin1Char(',')).remove(QLatin1Char('.')));
}

// Reads each number as its field writes it, a length that groups its thousands as the rest of
// the file does; keeps why a length could not be decided.
struct NumberReader
{
    Mark lengthMark = Mark::Unknown;
    QString grouped; // the last undecided length's message

    std::optional<double> read(Column column, const QString &text, bool &ok, const QString &at)
    {
        const Written w = writtenAs(text);
        const bool length = isLength(column);
        if (w.decimal == Mark::Unknown)
            return number(text, Mark::Comma, ok);
        if (!length && text.contains(QLatin1Char(',')) && text.contains(QLatin1Char('.'))) {
            ok = false; // coordinates group nothing
            return std::nullopt;
        }
        if (length && w.grouping) {
            if (lengthMark == Mark::Unknown) {
                grouped = undecided(at, text, w.decimal);
                ok = false;
                return std::nullopt;
            }
            return number(text, lengthMark, ok);
        }
        return number(text, w.decimal, ok);
    }
};

// Why a point's numbers cannot stand for a place on a cable's route; empty if they can.
QString pointProblem(const Point &p,
                     const std::optional<double> &distance,
                     const std::optional<double> &slack,
                     const QString &at)
{
    if (p.lat.has_value() != p.lon.has_value()
        || (p.lat && (std::abs(*p.lat) > 90 || std::abs(*p.lon) > 180)))
        return QStringLiteral("%1: coordenadas incompletas ou fora do globo").arg(at);
    if (!distance && !p.hasCoordinates())
        return QStringLiteral("%1: ponto sem distância nem coordenadas").arg(at);
    if ((distance && *distance < 0) || (slack && *slack < 0))
        return QStringLiteral("%1: distância ou reserva negativa").arg(at);
    if ((distance && *distance > MostRouteM) || (slack && *slack > MostRouteM))
        return QStringLiteral("%1: distância ou reserva de mais de %2 km: nenhum cabo "
                              "tem tanto")
            .arg(at)
            .arg(MostRouteM / 1000);
    return QString();
}

// A row's point; why not where its kind, a number or the place they make is wrong.
QString
pointOf(const Row &row, const Header &header, NumberReader &numbers, const QString &at, Point &p)
{
    const auto value = [&](Column column) { return row.fields.value(header.column.value(column)); };
    p.name = cleanName(value(Name));
    const std::optional<Kind> kind = kindOf(value(Type));
    if (!kind)
        return QStringLiteral("%1: tipo \"%2\" desconhecido (origem, emenda, poste, caixa, "
                              "reserva ou outro)")
            .arg(at, value(Type));
    p.kind = *kind;
    bool ok = true;
    const std::optional<double> distance = numbers.read(Distance, value(Distance), ok, at);
    bool okLat = true;
    bool okLon = true;
    p.lat = numbers.read(Lat, value(Lat), okLat, at);
    p.lon = numbers.read(Lon, value(Lon), okLon, at);
    bool okSlack = true;
    const std::optional<double> slack = numbers.read(Loop, value(Loop), okSlack, at);
    if (!ok || !okLat || !okLon || !okSlack)
        return numbers.grouped.isEmpty() ? QStringLiteral("%1: um número que não se lê").arg(at)
                                         : numbers.grouped;
    const QString problem = pointProblem(p, distance, slack, at);
    if (!problem.isEmpty())
        return problem;
    p.routeM = distance.value_or(std::nan(""));
    p.slackM = slack.value_or(0);
    return QString();
}

} // namespace

Read readCsv(const QByteArray &bytes, const QString &path)
{
    Read r;
    if (bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        r.error = QStringLiteral("%1: não é um CSV de rota (o arquivo não é texto)").arg(path);
        return r;
    }
    QString encoding;
    const QStringList lines
        = spreadsheetText(bytes, encoding).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    int first = 0;
    while (first < lines.size() && lines.at(first).trimmed().isEmpty())
        ++first;
    if (first == lines.size()) {
        r.error = QStringLiteral("%1: arquivo vazio").arg(path);
        return r;
    }
    Table table;
    table.header = headerOf(lines.at(first));
    r.error = headerProblem(table.header, lineAt(path, first + 1));
    if (r.error.isEmpty())
        r.error = splitRows(lines, first, path, table);
    if (!r.error.isEmpty())
        return r;
    if (table.rows.isEmpty()) {
        r.error = QStringLiteral("%1: nenhum ponto depois do cabeçalho").arg(path);
        return r;
    }
    Route route;
    route.path = path;
    route.readAs = readAsText(table.header.separator, table.marks.text(), encoding);
    NumberReader numbers{table.marks.lengthMark(), QString()};
    QStringList where;
    for (const Row &row : table.rows) {
        const QString at = lineAt(path, row.line);
        Point p;
        r.error = pointOf(row, table.header, numbers, at, p);
        if (!r.error.isEmpty())
            return r;
        route.points.append(p);
        where << at;
    }
    return settled(route, where);
}

} // namespace Route

#pragma once

#include <QSqlError>
#include <QString>

// What went wrong in the archive's database, in the user's words: the common cases said in
// Portuguese, the driver's own text kept after it in parentheses for whoever supports the user.
namespace Archive {

// The problem the error shows ("o arquivo de traços está ocupado…", "o servidor recusou o
// usuário ou a senha", …), or `otherwise` where it is none of the common ones; the driver's text
// follows in parentheses.
QString databaseProblem(const QSqlError &error, bool server, const QString &otherwise);

} // namespace Archive

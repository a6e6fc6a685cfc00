#include "forms/ui_mainwindow.h"

#include <QCoreApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QMainWindow>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QVariant>

void Ui_MainWindow::setupUi(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
    MainWindow->setWindowModality(Qt::ApplicationModal);
    MainWindow->setEnabled(true);
    MainWindow->resize(480, 400);
    MainWindow->setMinimumSize(QSize(480, 400));
    MainWindow->setMaximumSize(QSize(480, 400));
    MainWindow->setContextMenuPolicy(Qt::DefaultContextMenu);
    MainWindow->setWindowTitle(QString::fromUtf8("Otdr"));
    QIcon icon;
    icon.addFile(QString::fromUtf8("icone_lumo.ico"), QSize(), QIcon::Normal, QIcon::Off);
    MainWindow->setWindowIcon(icon);
    MainWindow->setLayoutDirection(Qt::LeftToRight);
    MainWindow->setAutoFillBackground(true);
    MainWindow->setIconSize(QSize(64, 54));
    MainWindow->setAnimated(false);
    MainWindow->setDocumentMode(false);
    MainWindow->setDockNestingEnabled(false);

    centralWidget = new QWidget(MainWindow);
    centralWidget->setObjectName(QString::fromUtf8("centralWidget"));
    verticalLayout_2 = new QVBoxLayout(centralWidget);
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setContentsMargins(11, 11, 11, 11);
    verticalLayout_2->setObjectName(QString::fromUtf8("verticalLayout_2"));

    tableWidget = new QTableWidget(centralWidget);
    if (tableWidget->columnCount() < 3)
        tableWidget->setColumnCount(3);
    tableWidget->setHorizontalHeaderItem(0, new QTableWidgetItem());
    QFont nameFont;
    nameFont.setBold(true);
    nameFont.setUnderline(false);
    nameFont.setWeight(QFont::Bold);
    auto *nameHeader = new QTableWidgetItem();
    nameHeader->setFont(nameFont);
    tableWidget->setHorizontalHeaderItem(1, nameHeader);
    QFont sizeFont;
    sizeFont.setBold(true);
    sizeFont.setWeight(QFont::Bold);
    auto *sizeHeader = new QTableWidgetItem();
    sizeHeader->setFont(sizeFont);
    tableWidget->setHorizontalHeaderItem(2, sizeHeader);
    tableWidget->setObjectName(QString::fromUtf8("tableWidget"));
    tableWidget->viewport()->setProperty("cursor", QVariant(QCursor(Qt::PointingHandCursor)));
    tableWidget->setAutoFillBackground(true);
    tableWidget->setLineWidth(1);
    tableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableWidget->setAlternatingRowColors(true);
    tableWidget->setSelectionMode(QAbstractItemView::SingleSelection);
    tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalLayout_2->addWidget(tableWidget);

    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setSpacing(6);
    horizontalLayout->setObjectName(QString::fromUtf8("horizontalLayout"));
    horizontalLayout->setSizeConstraint(QLayout::SetNoConstraint);
    horizontalLayout->setContentsMargins(-1, 0, -1, 0);

    SalvarArquivo = new QPushButton(centralWidget);
    SalvarArquivo->setObjectName(QString::fromUtf8("SalvarArquivo"));
    SalvarArquivo->setMaximumSize(QSize(80, 25));
    SalvarArquivo->setLayoutDirection(Qt::LeftToRight);
    horizontalLayout->addWidget(SalvarArquivo);

    SelecionaTodos = new QPushButton(centralWidget);
    SelecionaTodos->setObjectName(QString::fromUtf8("SelecionaTodos"));
    SelecionaTodos->setMinimumSize(QSize(80, 25));
    SelecionaTodos->setMaximumSize(QSize(120, 25));
    horizontalLayout->addWidget(SelecionaTodos);

    Apagar = new QPushButton(centralWidget);
    Apagar->setObjectName(QString::fromUtf8("Apagar"));
    Apagar->setEnabled(true);
    Apagar->setMaximumSize(QSize(80, 16777215));
    horizontalLayout->addWidget(Apagar);

    verticalLayout_2->addLayout(horizontalLayout);
    MainWindow->setCentralWidget(centralWidget);

    MainWindow->setToolTip(QString());
    MainWindow->setAccessibleDescription(QString());
    MainWindow->setWindowFilePath(QString());
    tableWidget->horizontalHeaderItem(1)->setText(
        QCoreApplication::translate("MainWindow", "Nome", nullptr));
    tableWidget->horizontalHeaderItem(2)->setText(
        QCoreApplication::translate("MainWindow", "Tamanho", nullptr));
    SalvarArquivo->setText(QCoreApplication::translate("MainWindow", "Salvar", nullptr));
    SelecionaTodos->setText(QCoreApplication::translate("MainWindow", "Selecionar todos", nullptr));
    Apagar->setText(QCoreApplication::translate("MainWindow", "Apagar", nullptr));

    QMetaObject::connectSlotsByName(MainWindow);
}

#pragma once

class QHBoxLayout;
class QMainWindow;
class QPushButton;
class QTableWidget;
class QVBoxLayout;
class QWidget;

// The main window's widgets: the file table above a row of three buttons.
class Ui_MainWindow
{
public:
    QWidget *centralWidget = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QTableWidget *tableWidget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QPushButton *SalvarArquivo = nullptr;
    QPushButton *SelecionaTodos = nullptr;
    QPushButton *Apagar = nullptr;

    void setupUi(QMainWindow *MainWindow);
};

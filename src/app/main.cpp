#include "app/program.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    korvane::app::prepareApplication(app);
    return korvane::app::runProgram(QApplication::arguments().mid(1));
}

#include "app/program.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    korvane::app::prepareApplication(app);
    if (!korvane::app::startProgram())
        return 1;
    const int status = app.exec();
    korvane::app::endProgram();
    return status;
}

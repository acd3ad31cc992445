#include "app/program.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    korvane::app::prepareApplication(app);
    if (!korvane::app::startProgram())
        return 1;
    return app.exec();
}

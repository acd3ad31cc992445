#include "registry.h"

#include "mainform.h"

#include "addressbook/register.h"
#include "compose/register.h"
#include "history/register.h"
#include "palette/register.h"
#include "pilgrimage/register.h"
#include "settings/register.h"
#include "texttools/register.h"

namespace korvane::app {

void registerAllWindows()
{
    settings::registerWindows();
    pilgrimage::registerWindows();
    mail::registerWindows();
    addressbook::registerWindows();
    palette::registerWindows();
    texttools::registerWindows();
    compose::registerWindows();
    registerMainform();
}

}  // namespace korvane::app

#pragma once
// The map and guide displays of the main window, working on the controls of
// the registered `Mainform` window by their names (Text1, Text2, Text8,
// Label15, Label22, Label25, Image2, Image5, Label10, Label11).
namespace korvane::pilgrimage {

void showGuide();
void showMap();
// What the mail check does for each mail before fetching it: stores the
// counter of Text8 plus one as progressCounter, then showGuide and showMap.
void advanceOneMail();

}  // namespace korvane::pilgrimage

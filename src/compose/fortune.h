#pragma once
// The fortunes a sender can attach to a mail: twelve texts drawn at random,
// with a header line that says so.
#include <QString>
#include <QStringList>

#include <functional>

namespace korvane::compose {

// The line written above every fortune.
const QString &fortuneHeader();
// The twelve fortunes; entry f - 1 is fortune f.
const QStringList &fortuneTable();

// The fortune number (1 to 12) for a draw r in [0, 1): the integer part of
// r × 12, plus 1. A draw of 0 gives 1, a draw just below 1 gives 12.
int pickFortune(double r);
// A fortune number from the current source of draws.
int pickFortune();

// Where draws come from (uniform in [0, 1)); the default draws from the
// system's random generator. An empty function restores the default.
void setFortuneDraw(std::function<double()> draw);

// The body with the header and fortune f appended after two line breaks each.
QString withFortune(const QString &body, int f);

}  // namespace korvane::compose

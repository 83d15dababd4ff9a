#pragma once
// The screen's cursor table: cursors looked up by number, and the one screen
// cursor that overrides every window's own (the busy cursor while a gesture is
// written, the colour-sample cursor while a colour is picked).
#include <QCursor>

namespace plumora::ui {

// Numbers of the table. Negative numbers are the system's cursors; 225 is
// the colour-sample cursor of the transparent-colour picker.
inline constexpr int crDefault = 0;
inline constexpr int crArrow = -2;
inline constexpr int crCross = -3;
inline constexpr int crIBeam = -4;
inline constexpr int crSizeNS = -7;
inline constexpr int crSizeWE = -9;
inline constexpr int crHourGlass = -11;
inline constexpr int crNo = -18;
inline constexpr int crHandPoint = -21;
inline constexpr int crSizeAll = -22;
inline constexpr int crColorSample = 225;

// Puts a cursor into the table under a number, replacing any there.
void registerCursor(int number, const QCursor &cursor);
// The cursor of a number; an unknown number gives the default arrow.
QCursor cursor(int number);
bool hasCursor(int number);

// The colour-sample cursor: a 32 x 32 eyedropper, hot spot at its tip.
QCursor colorSampleCursor();
// Registers the system cursors under their numbers and the colour-sample
// cursor as crColorSample. Needs the application object.
void registerStandardCursors();

// The screen cursor. crDefault lets every window show its own cursor again.
void setScreenCursor(int number);
int screenCursor();

// Shows the busy cursor for its lifetime and restores the default cursor
// however the scope is left.
class BusyCursor
{
public:
    BusyCursor() { setScreenCursor(crHourGlass); }
    ~BusyCursor() { setScreenCursor(crDefault); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace plumora::ui

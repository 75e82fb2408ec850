// The colours the view shows. By day, the model's colours as they are. At night (a display
// preference), a darker set for a van after dark: the panels and buttons dimmed, no white
// field (a light field turns dark in its own hue and its black text light), every other text
// softened; the colours of alarms (the reds, ambers and yellows of a trip, a drive fault, an
// alarm, the E-stop) and the greens of live values and lamps are kept as they are, so that
// an alarm is as loud at night as by day. Every colour the view paints goes through here.
#pragma once

#include <QColor>
#include <QString>

namespace ui::qt {

// A field, a panel, a button, a lamp: what lies under a text.
QColor shownBack(int rgb);
QColor shownBack(const QColor& day);
// A text drawn on a background of the model's colour back.
QColor shownText(int rgb, int back);
QColor shownText(const QColor& day, const QColor& dayBack);
// A frame's line, a tick, a needle's hub.
QColor shownLine(const QColor& day);
// A style sheet in the colours shown: in each rule a "color" is a text on the dark field, a
// "background" a field and every other colour (borders) a line. Colours are written #rrggbb.
QString shownSheet(const QString& daySheet);
// "#rrggbb" of a colour, for style sheets.
QString sheetColour(const QColor& c);
// The light edge of every dialog: on a screen without a window manager (no frames) a dialog
// would otherwise melt into the window of the same blue behind it.
QColor dialogEdge();
inline constexpr int kDialogEdgeWidth = 3;

}  // namespace ui::qt

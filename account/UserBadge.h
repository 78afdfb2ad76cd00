#pragma once
// How the window's title bar shows a user: name, round avatar, the "ID:" line.
#include <QPixmap>
#include <QString>

struct User;

namespace UserBadge {

// nickName, or userPhone when the nick name is empty.
QString name(const User& user);
// The default head picture when the user has no avatar; otherwise the cached picture cut
// to the ellipse of its rectangle and scaled (no smoothing) to a square twice its smaller side.
QPixmap avatar(const User& user);
// "ID:" and the first 10 characters of userId.
QString idLine(const User& user);

} // namespace UserBadge

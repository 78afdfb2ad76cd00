#pragma once
// What the account tests share: the server's preset accounts, the program's log and the
// stored login.
#include <QString>

namespace AccountTest {

inline const QString phoneUser = "U20260001PHONE";
inline const QString weChatUser = "U20260002WECHAT";
inline const QString knownPhone = "13800138000";

// Names the process as the program, registers "User" and writes messages through the
// program's log handler into an emptied vyr_log.txt (the test's own output stays on the console).
void prepareProcess();
QString logText();
void wipeStoredLogin();

} // namespace AccountTest

#pragma once
// What the update and settings tests share: the update offer of the local server, running
// the application's own loop until something quits it, answering the install question, a
// verified package put in place.
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

class AccountServer;
class UpdateService;

// Sets what the server offers (the query of its /test/update endpoint; empty: the defaults).
bool offerUpdate(AccountServer& server, const QString& query);
// {"manifestRequests": n, "packageRequests": n} so far.
QJsonObject updateStats(AccountServer& server);

// Runs the application's loop with action queued into it; true when something quit the loop
// within timeoutMs, false when the time ran out.
bool quitsWhile(const std::function<void()>& action, int timeoutMs = 15000);
// Clicks the button `answer` of the next install question box; "title|text" lands in asked.
void answerNextQuestion(const QString& answer, QString* asked);
// The package the server offers for version, already on disk under its final name.
bool placeVerifiedPackage(AccountServer& server, const QString& version = "3.0.4");
// A service wired as the main window wires it: a verified package leads to gotoInstall.
std::unique_ptr<UpdateService> wiredUpdateService();
// Sends the manifest request and waits until the reply is evaluated.
bool checkVersion(UpdateService& service);

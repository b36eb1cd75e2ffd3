#include "update/UpdateThreads.h"

#include "platform/Workers.h"
#include "platform/http/HttpClient.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>

namespace kz {

void UpdateMailbox::Post(std::function<void()> call) {
    std::lock_guard lock(mutex);
    if (receiver)
        QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

void UpdateMailbox::Close() {
    std::lock_guard lock(mutex);
    receiver = nullptr;
}

namespace {

bool Reachable(const UpdateSetup &setup) {
    std::unique_ptr<HttpSession> session = setup.http ? setup.http() : nullptr;
    return session && SiteReachable(*session, SiteUrl(setup.site, "/"));
}

void OpenOnline(UpdateMailbox &mailbox) {
    if (mailbox.openOnlineHome)
        mailbox.Post(mailbox.openOnlineHome);
}

} // namespace

void RunHomePage(UpdateMailbox &mailbox, const UpdateSetup &setup) {
    if (Reachable(setup)) {
        mailbox.onlineHomePage = 1;
        OpenOnline(mailbox);
        return;
    }
    const QString local = setup.programDir + QLatin1String(kLocalHomePage);
    if (!QFile(local).open(QIODevice::ReadOnly))
        return;
    if (mailbox.navigate)
        mailbox.Post([navigate = mailbox.navigate, local] { navigate(local); });
}

void RunConnectivityCheck(UpdateMailbox &mailbox, const UpdateSetup &setup) {
    // The test runs every time; the page is opened once.
    if (!Reachable(setup))
        return;
    int expected = 0;
    if (mailbox.onlineHomePage.compare_exchange_strong(expected, 1))
        OpenOnline(mailbox);
}

void StartHomePageThread(std::shared_ptr<UpdateMailbox> mailbox, UpdateSetup setup) {
    StartWorker([mailbox, setup] { RunHomePage(*mailbox, setup); });
}

void StartVersionCheckThread(UpdateSetup setup) {
    StartWorker(
        [setup] { RunVersionCheck(setup.http, setup.site, setup.programDir, setup.tempFolder); });
}

void StartConnectivityThread(std::shared_ptr<UpdateMailbox> mailbox, UpdateSetup setup) {
    StartWorker([mailbox, setup] { RunConnectivityCheck(*mailbox, setup); });
}

} // namespace kz

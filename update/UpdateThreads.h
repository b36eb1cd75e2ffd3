#pragma once
// The worker threads the movie view starts by its timers: the home page (online when the
// maker's site answers, else the local one), the version check with its download, and the
// connectivity re-check. They reach the view only through the mailbox, which the view closes
// when it goes; none of them is waited for.

#include "update/VersionCheck.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

namespace kz {

struct UpdateMailbox {
    std::mutex mutex;
    QObject *receiver = nullptr;
    // Set before any thread starts; run on the receiver's thread: open the online home page
    // (WM_USER+110), show a page.
    std::function<void()> openOnlineHome;
    std::function<void(const QString &)> navigate;
    // 1 once the online home page was asked for; only the threads set it.
    std::atomic<int> onlineHomePage{0};

    // Queues a call on the receiver's thread, unless the receiver has gone.
    void Post(std::function<void()> call);
    // Closes the mailbox: nothing more reaches the receiver.
    void Close();
};

struct UpdateSetup {
    QString site;       // the maker's site
    QString programDir; // with its trailing separator
    QString tempFolder; // the private temporary folder
    HttpSessionFactory http;
};

// The home-page routine: the online page when the site answers, else the local page when it can
// be read, else nothing.
void StartHomePageThread(std::shared_ptr<UpdateMailbox> mailbox, UpdateSetup setup);
// The version check and the package download.
void StartVersionCheckThread(UpdateSetup setup);
// The connectivity re-check: the online home page once the site answers.
void StartConnectivityThread(std::shared_ptr<UpdateMailbox> mailbox, UpdateSetup setup);

// The bodies of the threads, run on the calling thread (tests).
void RunHomePage(UpdateMailbox &mailbox, const UpdateSetup &setup);
void RunConnectivityCheck(UpdateMailbox &mailbox, const UpdateSetup &setup);

} // namespace kz

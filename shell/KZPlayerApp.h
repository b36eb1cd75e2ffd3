#pragma once
// The application object: start-up in its order (the single instance, then in a first start the
// updater replacement and the update hand-over, the frame, the list-file association), the
// default-player command, the about box, and the end.

#include "shell/KZPlayerDoc.h"
#include "shell/MainFrm.h"
#include "shell/SingleInstance.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

namespace kz {

class MprisService;

class CKZPlayerApp : public QObject {
    Q_OBJECT
public:
    explicit CKZPlayerApp(ControlFactory controls, QObject *parent = nullptr);
    ~CKZPlayerApp() override;

    // True to run the event loop, false to quit at once (a second start, an update).
    bool InitInstance(const QStringList &arguments);
    int ExitInstance();

    void OnSetDefaultPlayer();
    void OnAppAbout();
    void StartMpris();

    // How programs are run: the association steps and the updater (tests replace it).
    std::function<bool(const QString &, const QStringList &, bool wait)> m_runProgram;
    // Where the single-instance lock and socket live.
    QString m_instanceFolder = SingleInstance::DefaultFolder();

    QString m_strCmdLineFile;
    CMainFrame *MainFrame() const { return m_pMainWnd.get(); }
    SingleInstance *Instance() const { return m_instance.get(); }

private:
    QString ExecutablePath() const;
    QString IconPath() const;

    ControlFactory m_controls;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<CKZPlayerDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<MprisService> m_mpris;
};

} // namespace kz

#include "ToolsDlg.h"

#include "platform/Paths.h"
#include "platform/registry/Profile.h"
#include "tools/Packaging.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

namespace kz {

namespace {

QString ControlName(int id) {
    return QStringLiteral("IDC_%1").arg(id);
}

const int kTaskControls[kToolTaskCount] = {IDC_TASK_MP3, IDC_TASK_JPEG, IDC_TASK_EXE,
                                           IDC_TASK_SCREENSAVER};

// 337 x 236 dialog units at the dialog font's average character size.
QSize DialogSize(const QFontMetrics &fm) {
    const int baseX = std::max(1, fm.averageCharWidth());
    const int baseY = std::max(1, fm.height());
    return QSize(337 * baseX / 4, 236 * baseY / 8);
}

} // namespace

// ---------------------------------------------------------------------------------------------

CToolsListCtrl::CToolsListCtrl(QWidget *parent) : QTableWidget(parent) {
    setObjectName(ControlName(IDC_TOOLS_LIST));
    setColumnCount(3);
    setHorizontalHeaderLabels(
        {QStringLiteral("输入文件"), QStringLiteral("文件"), QStringLiteral("状态")});
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideLeft); // the file's name at the end of a long path stays visible
}

int CToolsListCtrl::AppendRow(const ToolRow &row) {
    const int index = rowCount();
    insertRow(index);
    auto *c0 = new QTableWidgetItem(row.column0);
    c0->setData(Qt::UserRole, index);
    c0->setToolTip(row.column0);
    setItem(index, 0, c0);
    setItem(index, 1, new QTableWidgetItem(row.column1));
    setItem(index, 2, new QTableWidgetItem(QString()));
    return index;
}

ToolRow CToolsListCtrl::Row(int row) const {
    const QTableWidgetItem *c0 = item(row, 0);
    const QTableWidgetItem *c1 = item(row, 1);
    return {c0 ? c0->text() : QString(), c1 ? c1->text() : QString()};
}

QString CToolsListCtrl::Status(int row) const {
    const QTableWidgetItem *c2 = item(row, 2);
    return c2 ? c2->text() : QString();
}

void CToolsListCtrl::SetStatus(int row, const QString &text) {
    if (QTableWidgetItem *c2 = item(row, 2))
        c2->setText(text);
}

int CToolsListCtrl::ItemData(int row) const {
    const QTableWidgetItem *c0 = item(row, 0);
    return c0 ? c0->data(Qt::UserRole).toInt() : -1;
}

QList<int> CToolsListCtrl::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QMenu *CToolsListCtrl::MakeMenu(QPoint pos) {
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("IDR_%1").arg(IDR_TOOLSMENU));
    const auto add = [&](int id, const QString &text, bool enabled) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QStringLiteral("ID_%1").arg(id));
        a->setEnabled(m_bCommandsEnabled && enabled);
        connect(a, &QAction::triggered, this, [this, id] { emit CommandRequested(id); });
    };
    add(ID_TOOLS_ADD, QStringLiteral("增加"), true);
    add(ID_TOOLS_REMOVE, QStringLiteral("移除"), indexAt(pos).isValid());
    add(ID_TOOLS_REMOVE_ALL, QStringLiteral("移除所有"), rowCount() > 0);
    return menu;
}

void CToolsListCtrl::mousePressEvent(QMouseEvent *event) {
    QTableWidget::mousePressEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    QMenu *menu = MakeMenu(event->position().toPoint());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(event->position().toPoint()));
}

void CToolsListCtrl::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        if (m_bCommandsEnabled)
            emit CommandRequested(ID_TOOLS_REMOVE);
        return;
    }
    QTableWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------

CToolsDlg::CToolsDlg(const QString &profileSection, QWidget *parent)
    : QDialog(parent), m_section(profileSection) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_TOOLS));
    setWindowTitle(QStringLiteral("Flash工具"));

    m_services.openFiles = [this](const QString &filter) {
        return QFileDialog::getOpenFileNames(this, QString(), QString(), filter);
    };
    m_services.chooseFolder = [] { return QFileDialog::getExistingDirectory(nullptr); };
    m_services.openFolder = [](const QString &folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };

    const auto button = [this](int id, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(ControlName(id));
        b->setAutoDefault(false);
        return b;
    };

    m_list = new CToolsListCtrl(this);

    auto *outputBox = new QGroupBox(QStringLiteral("输出目录"), this);
    m_outputDirButton = button(IDC_OUTPUT_DIR_BUTTON, QStringLiteral("输出目录"));
    m_outputDir = new QLineEdit(outputBox);
    m_outputDir->setObjectName(ControlName(IDC_OUTPUT_DIR));
    m_sameDir = new QCheckBox(QStringLiteral("输出文件放在与输入文件相同的目录中"), outputBox);
    m_sameDir->setObjectName(ControlName(IDC_SAME_DIR));
    m_browseDir = button(IDC_BROWSE_DIR, QStringLiteral("浏览目录"));
    auto *outputGrid = new QGridLayout(outputBox);
    outputGrid->addWidget(m_outputDirButton, 0, 0);
    outputGrid->addWidget(m_outputDir, 0, 1);
    outputGrid->addWidget(m_sameDir, 1, 0, 1, 2);
    outputGrid->addWidget(m_browseDir, 2, 0);
    outputGrid->setColumnStretch(1, 1);

    auto *taskBox = new QGroupBox(QStringLiteral("你想做什么？"), this);
    auto *taskLayout = new QVBoxLayout(taskBox);
    m_tasks = new QButtonGroup(this);
    const QString taskTexts[kToolTaskCount] = {
        QStringLiteral("提取MP3"), QStringLiteral("提取图象（jpg）"),
        QStringLiteral("SWF--EXE互转"), QStringLiteral("生成屏保")};
    for (int t = 0; t < kToolTaskCount; ++t) {
        auto *radio = new QRadioButton(taskTexts[t], taskBox);
        radio->setObjectName(ControlName(kTaskControls[t]));
        m_tasks->addButton(radio, kTaskControls[t]);
        taskLayout->addWidget(radio);
    }
    taskLayout->addStretch(1);

    m_addFiles = button(IDC_ADD_FILES, QStringLiteral("增加文件"));
    m_start = button(IDC_START, QStringLiteral("开始"));
    m_start->setAutoDefault(true);
    m_start->setDefault(true);
    m_installScreenSaver = button(IDC_INSTALL_SCREENSAVER, QStringLiteral("安装屏保"));
    m_exit = button(IDC_EXIT, QStringLiteral("退出"));
    m_exit->setObjectName(QStringLiteral("IDCANCEL"));
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {m_addFiles, m_start, m_installScreenSaver, m_exit})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto *lower = new QHBoxLayout;
    lower->addWidget(outputBox, 3);
    lower->addWidget(taskBox, 1);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(lower);

    connect(m_outputDirButton, &QPushButton::clicked, this,
            [this] { OnCommand(IDC_OUTPUT_DIR_BUTTON); });
    connect(m_sameDir, &QCheckBox::clicked, this, [this] { OnCommand(IDC_SAME_DIR); });
    connect(m_browseDir, &QPushButton::clicked, this, [this] { OnCommand(IDC_BROWSE_DIR); });
    connect(m_tasks, &QButtonGroup::idClicked, this, [this](int id) { OnCommand(id); });
    connect(m_addFiles, &QPushButton::clicked, this, [this] { OnCommand(IDC_ADD_FILES); });
    connect(m_start, &QPushButton::clicked, this, [this] { OnCommand(IDC_START); });
    connect(m_installScreenSaver, &QPushButton::clicked, this,
            [this] { OnCommand(IDC_INSTALL_SCREENSAVER); });
    connect(m_exit, &QPushButton::clicked, this, &CToolsDlg::reject);
    connect(m_list, &CToolsListCtrl::CommandRequested, this, &CToolsDlg::OnCommand);

    resize(DialogSize(fontMetrics()).expandedTo(minimumSizeHint()));
}

CToolsDlg::~CToolsDlg() {
    m_stop = true;
    if (m_worker.joinable()) {
        m_worker.join();
        QApplication::restoreOverrideCursor();
    }
}

void CToolsDlg::OnCommand(int id) {
    switch (id) {
    case IDC_OUTPUT_DIR_BUTTON:
        return OnOutputDir();
    case IDC_SAME_DIR:
        return OnSameDir();
    case IDC_BROWSE_DIR:
        return OnBrowseDir();
    case IDC_TASK_MP3:
    case IDC_TASK_JPEG:
    case IDC_TASK_EXE:
    case IDC_TASK_SCREENSAVER:
        return OnTask(id);
    case IDC_ADD_FILES:
    case ID_TOOLS_ADD:
        return OnAddFiles();
    case IDC_START:
        return OnStart();
    case IDC_INSTALL_SCREENSAVER:
        return OnInstallScreenSaver();
    case ID_TOOLS_REMOVE:
        return OnRemove();
    case ID_TOOLS_REMOVE_ALL:
        return OnRemoveAll();
    default:
        return;
    }
}

void CToolsDlg::OnInitDialog() {
    if (m_initialised)
        return;
    m_initialised = true;
    setWindowIcon(QApplication::windowIcon());

    // Columns at 2/4, 1/4 and 1/4 of the list's client width.
    if (QLayout *l = layout())
        l->activate();
    const int w = m_list->viewport()->width();
    m_list->setColumnWidth(0, w * 2 / 4);
    m_list->setColumnWidth(1, w / 4);
    m_list->setColumnWidth(2, w / 4);

    const ToolsSettings stored = LoadToolsSettings(ProfileStore(), m_section);
    m_strMp3InitDir = stored.m_strMp3InitDir;
    m_strJpgInitDir = stored.m_strJpgInitDir;
    m_strExeInitDir = stored.m_strExeInitDir;
    m_strOutputDir = RememberedFolder(m_nMode);
    ToControls();
    EnableOutputControls();

    for (const QString &entry : std::as_const(m_listInputFiles))
        m_list->AppendRow(ToolRowFromEntry(entry));
    m_listInputFiles.clear();
}

void CToolsDlg::showEvent(QShowEvent *event) {
    OnInitDialog();
    QDialog::showEvent(event);
}

void CToolsDlg::ToControls() {
    m_outputDir->setText(m_strOutputDir);
    m_sameDir->setChecked(m_bSameDir);
    if (QAbstractButton *b = m_tasks->button(kTaskControls[std::clamp(m_nMode, 0, 3)]))
        b->setChecked(true);
}

void CToolsDlg::FromControls() {
    m_strOutputDir = m_outputDir->text();
    m_bSameDir = m_sameDir->isChecked();
    for (int t = 0; t < kToolTaskCount; ++t)
        if (m_tasks->button(kTaskControls[t])->isChecked())
            m_nMode = t;
}

QString &CToolsDlg::RememberedFolder(int task) {
    switch (task) {
    case kTaskJpeg:
        return m_strJpgInitDir;
    case kTaskExe:
        return m_strExeInitDir;
    default:
        return m_strMp3InitDir;
    }
}

void CToolsDlg::EnableOutputControls() {
    // Screensavers have their own folder; with the box checked each output goes beside its
    // input.
    const bool ownFolder = m_nMode != kTaskScreenSaver;
    m_sameDir->setEnabled(ownFolder);
    m_outputDirButton->setEnabled(ownFolder && !m_bSameDir);
    m_outputDir->setEnabled(ownFolder && !m_bSameDir);
}

void CToolsDlg::OnOutputDir() {
    const QString folder = m_services.chooseFolder();
    if (folder.isEmpty())
        return;
    m_strOutputDir = folder;
    m_outputDir->setText(m_strOutputDir);
}

void CToolsDlg::OnAddFiles() {
    for (const QString &file :
         m_services.openFiles(QtFileFilter(QString::fromUtf16(kToolsFileFilter))))
        m_list->AppendRow({file, QString()});
}

void CToolsDlg::OnSameDir() {
    FromControls();
    EnableOutputControls();
}

void CToolsDlg::OnTask(int controlId) {
    FromControls();
    if (controlId != IDC_TASK_SCREENSAVER) {
        m_strOutputDir = RememberedFolder(m_nMode);
        m_outputDir->setText(m_strOutputDir);
    }
    EnableOutputControls();
}

void CToolsDlg::OnBrowseDir() {
    FromControls();
    if (!m_strOutputDir.trimmed().isEmpty())
        m_services.openFolder(m_strOutputDir.trimmed());
}

void CToolsDlg::OnInstallScreenSaver() {
    InstallScreenSaver();
}

void CToolsDlg::OnRemove() {
    if (Running())
        return;
    const QList<int> rows = m_list->SelectedRows();
    for (int k = 0; k < rows.size(); ++k)
        m_list->removeRow(rows[k] - k);
}

void CToolsDlg::OnRemoveAll() {
    if (Running())
        return;
    m_list->setRowCount(0);
}

void CToolsDlg::OnStart() {
    if (Running())
        return;
    FromControls();
    const int rows = m_list->rowCount();
    if (rows == 0)
        return;
    if (!m_bSameDir && m_nMode != kTaskScreenSaver) {
        RememberedFolder(m_nMode) = m_strOutputDir;
        ProfileStore profile;
        SaveToolsSettings(profile, m_section,
                          ToolsSettings{m_strMp3InitDir, m_strJpgInitDir, m_strExeInitDir});
    }
    std::vector<Job> jobs;
    for (int r = 0; r < rows; ++r) {
        const ToolRow input = m_list->Row(r);
        jobs.push_back({r, input, ToolOutputPrefix(input, m_bSameDir, m_strOutputDir)});
        m_list->SetStatus(r, QString());
    }

    SetRunning(true);
    m_stop = false;
    const int task = m_nMode;
    m_worker = std::thread([this, task, jobs = std::move(jobs)] {
        for (const Job &job : jobs) {
            if (m_stop)
                break;
            QMetaObject::invokeMethod(
                this, [this, row = job.row] { OnRowStarted(row); }, Qt::QueuedConnection);
            const bool ok = RunToolTask(task, job.input, job.prefix);
            QMetaObject::invokeMethod(
                this, [this, row = job.row, ok] { OnRowDone(row, ok); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this, [this] { OnRunEnded(); }, Qt::QueuedConnection);
    });
}

void CToolsDlg::SetRunning(bool running) {
    if (running)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    m_list->m_bCommandsEnabled = !running;
    for (QWidget *w : std::initializer_list<QWidget *>{m_addFiles, m_start, m_installScreenSaver})
        w->setEnabled(!running);
    for (QAbstractButton *b : m_tasks->buttons())
        b->setEnabled(!running);
    if (running) {
        for (QWidget *w :
             std::initializer_list<QWidget *>{m_outputDirButton, m_outputDir, m_sameDir})
            w->setEnabled(false);
    } else {
        EnableOutputControls();
    }
}

void CToolsDlg::OnRowStarted(int row) {
    m_list->SetStatus(row, QString::fromUtf16(kStatusWorking));
    m_list->scrollToItem(m_list->item(row, 0));
}

void CToolsDlg::OnRowDone(int row, bool ok) {
    m_list->SetStatus(row, QString::fromUtf16(ok ? kStatusSucceeded : kStatusFailed));
}

void CToolsDlg::OnRunEnded() {
    if (m_worker.joinable())
        m_worker.join();
    QApplication::restoreOverrideCursor();
    SetRunning(false);
    m_exit->setEnabled(true);
    emit RunFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        QDialog::reject();
    }
}

void CToolsDlg::reject() {
    if (Running()) {
        // Stops after the current file; the dialog closes when it is done.
        m_stop = true;
        m_closeAfterRun = true;
        m_exit->setEnabled(false);
        return;
    }
    QDialog::reject();
}

} // namespace kz

#include "OptionDlgs.h"

#include "netsearch/Engines.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kz {

namespace {

QString Id(int id) {
    return QStringLiteral("IDC_%1").arg(id);
}

template <typename W> W *Named(W *w, int id) {
    w->setObjectName(Id(id));
    return w;
}

QDialogButtonBox *OkCancel(QDialog *dlg) {
    auto *box = new QDialogButtonBox(dlg);
    QPushButton *ok = box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    QPushButton *cancel = box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}

std::optional<std::int32_t> IntegerOf(const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<std::int32_t>(v) : std::nullopt;
}

} // namespace

CConfigDlg::CConfigDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_CONFIG));
    setWindowTitle(QStringLiteral("选项"));
    m_prompt = [this](const QString &text) { QMessageBox::warning(this, windowTitle(), text); };

    auto *autoClose = new QGroupBox(QStringLiteral("自动关闭选项"), this);
    auto *ac = new QGridLayout(autoClose);
    auto *timeoutLabel = Named(new QLabel(QStringLiteral("超时时长（分钟）"), autoClose), 1045);
    m_timeout = Named(new QLineEdit(autoClose), 1028);
    m_closeTimeout = Named(new QCheckBox(QStringLiteral("超时关闭窗口"), autoClose), 1047);
    m_closeEnd = Named(new QCheckBox(QStringLiteral("播放到列表尾部关闭窗口"), autoClose), 1048);
    ac->addWidget(timeoutLabel, 0, 0);
    ac->addWidget(m_timeout, 0, 1);
    ac->addWidget(m_closeTimeout, 1, 0, 1, 2);
    ac->addWidget(m_closeEnd, 2, 0, 1, 2);

    auto *search = new QGroupBox(QStringLiteral("搜索选项"), this);
    auto *sl = new QHBoxLayout(search);
    m_filter = Named(new QLineEdit(search), 1046);
    sl->addWidget(new QLabel(QStringLiteral("被搜索的Flash文件长度须大于"), search));
    sl->addWidget(m_filter);
    sl->addWidget(new QLabel(QStringLiteral("KBytes"), search));

    auto *other = new QGroupBox(QStringLiteral("其他选项"), this);
    auto *ol = new QVBoxLayout(other);
    m_taskBar = Named(new QCheckBox(QStringLiteral("最小化时设置图标到任务栏"), other), 1075);
    ol->addWidget(m_taskBar);

    auto *net = new QGroupBox(QStringLiteral("网络搜索选项"), this);
    auto *nl = new QVBoxLayout(net);
    m_engines = new QButtonGroup(this);
    const QString engines[] = {
        QStringLiteral("使用百度(baidu)搜索引擎"),      QStringLiteral("使用谷歌(google)搜索引擎"),
        QStringLiteral("使用谷歌(google)英文搜索引擎"), QStringLiteral("使用雅虎(Yahoo)搜索引擎"),
        QStringLiteral("互联网档案馆 Flash 库"),        QStringLiteral("网页时光机 按网站搜索")};
    // The first four keep their ids; the two library engines follow them.
    static_assert(std::size(engines) == std::size_t(kEngineCount));
    for (int i = 0; i < kEngineCount; ++i) {
        auto *r = Named(new QRadioButton(engines[i], net), 1085 + i);
        m_engines->addButton(r, i);
        nl->addWidget(r);
    }

    // Movies in a trusted folder have both their files and the network.
    m_browseTrusted = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("信任的目录"));
    };
    auto *trust = new QGroupBox(QStringLiteral("信任的目录"), this);
    auto *tl = new QGridLayout(trust);
    m_trusted = Named(new QListWidget(trust), 1120);
    m_trusted->setMaximumHeight(80);
    auto *add = Named(new QPushButton(QStringLiteral("添加..."), trust), 1121);
    auto *remove = Named(new QPushButton(QStringLiteral("删除"), trust), 1122);
    tl->addWidget(m_trusted, 0, 0, 2, 1);
    tl->addWidget(add, 0, 1);
    tl->addWidget(remove, 1, 1);
    connect(add, &QPushButton::clicked, this, [this] {
        const QString folder = m_browseTrusted ? m_browseTrusted() : QString();
        if (!folder.isEmpty() && m_trusted->findItems(folder, Qt::MatchExactly).isEmpty())
            m_trusted->addItem(folder);
    });
    connect(remove, &QPushButton::clicked, this, [this] { delete m_trusted->currentItem(); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(autoClose);
    layout->addWidget(search);
    layout->addWidget(other);
    layout->addWidget(net);
    layout->addWidget(trust);
    layout->addWidget(OkCancel(this));
}

void CConfigDlg::ToControls() {
    m_timeout->setText(QString::number(m_CloseTimeOutValue));
    m_filter->setText(QString::number(m_nIEFilterSize));
    m_closeTimeout->setChecked(m_bCloseTimeout != 0);
    m_closeEnd->setChecked(m_bCloseEndofPlayingList != 0);
    m_taskBar->setChecked(m_bTaskBar != 0);
    if (QAbstractButton *b = m_engines->button(m_nSearchEngine))
        b->setChecked(true);
    m_trusted->clear();
    m_trusted->addItems(m_trustedFolders);
}

bool CConfigDlg::FromControls() {
    for (QLineEdit *edit : {m_timeout, m_filter}) {
        if (!IntegerOf(edit->text())) {
            m_prompt(QStringLiteral("Please enter an integer."));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    m_CloseTimeOutValue = *IntegerOf(m_timeout->text());
    m_nIEFilterSize = *IntegerOf(m_filter->text());
    m_bCloseTimeout = m_closeTimeout->isChecked() ? 1 : 0;
    m_bCloseEndofPlayingList = m_closeEnd->isChecked() ? 1 : 0;
    m_bTaskBar = m_taskBar->isChecked() ? 1 : 0;
    if (m_engines->checkedId() >= 0)
        m_nSearchEngine = m_engines->checkedId();
    m_trustedFolders.clear();
    for (int i = 0; i < m_trusted->count(); ++i)
        m_trustedFolders << m_trusted->item(i)->text();
    return true;
}

void CConfigDlg::accept() {
    if (FromControls())
        QDialog::accept();
}

CImageOptionDlg::CImageOptionDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_%1").arg(IDD_IMAGE_OPTIONS));
    setWindowTitle(QStringLiteral("图象选项"));
    m_browseFolder = [this](const QString &current) {
        return QFileDialog::getExistingDirectory(this, QString(), current);
    };

    m_clipboard = Named(new QCheckBox(QStringLiteral("保存在剪贴板"), this), 1029);
    m_file = Named(new QCheckBox(QStringLiteral("保存到文件"), this), 1030);
    m_folder = Named(new QLineEdit(this), 1027);
    auto *browse = Named(new QPushButton(QStringLiteral("..."), this), 1031);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = m_browseFolder(m_folder->text());
        if (!chosen.isEmpty())
            m_folder->setText(chosen);
    });

    auto *formats = new QGroupBox(QStringLiteral("选择图象保存格式"), this);
    auto *fl = new QHBoxLayout(formats);
    const QString names[] = {QStringLiteral(".Bmp"), QStringLiteral(".Jpg"), QStringLiteral(".gif"),
                             QStringLiteral(".png")};
    for (int i = 0; i < 4; ++i) {
        m_formats[i] = Named(new QCheckBox(names[i], formats), 1071 + i);
        fl->addWidget(m_formats[i]);
    }

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("图象输出目录："), this));
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_clipboard);
    layout->addWidget(m_file);
    layout->addLayout(folderRow);
    layout->addWidget(formats);
    layout->addWidget(OkCancel(this));
}

void CImageOptionDlg::ToControls() {
    m_clipboard->setChecked(m_bSavedInClipboard != 0);
    m_file->setChecked(m_bSavedInFile != 0);
    m_folder->setText(m_strSavedDirectory);
    const std::int32_t flags[] = {m_bBmpFormat, m_bJpgFormat, m_bGifFormat, m_bPngFormat};
    for (int i = 0; i < 4; ++i)
        m_formats[i]->setChecked(flags[i] != 0);
}

void CImageOptionDlg::FromControls() {
    m_bSavedInClipboard = m_clipboard->isChecked() ? 1 : 0;
    m_bSavedInFile = m_file->isChecked() ? 1 : 0;
    m_strSavedDirectory = m_folder->text();
    std::int32_t *flags[] = {&m_bBmpFormat, &m_bJpgFormat, &m_bGifFormat, &m_bPngFormat};
    for (int i = 0; i < 4; ++i)
        *flags[i] = m_formats[i]->isChecked() ? 1 : 0;
}

void CImageOptionDlg::accept() {
    FromControls();
    QDialog::accept();
}

} // namespace kz

#include "frmbrowse.h"

#include "search.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>

#include <utility>

namespace {

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

frmBrowse::frmBrowse(QString &importDrawingsFolder, std::function<void(const QStringList &)> searchDone,
                     QWidget *parent)
    : QDialog(parent), m_importDrawingsFolder(importDrawingsFolder), m_searchDone(std::move(searchDone))
{
    setObjectName(QStringLiteral("frmBrowse"));
    setWindowTitle(tr("Browse"));
    // A small fixed tool window: thin caption, no minimise or maximise, no
    // task-bar button.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twipsToPixels(5340), twipsToPixels(4230));

    folderModel = new QFileSystemModel(this);
    folderModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folderModel->setReadOnly(true);
    folderModel->setRootPath(QString());

    fldtrvSetPath = new QTreeView(this);
    fldtrvSetPath->setObjectName(QStringLiteral("fldtrvSetPath"));
    fldtrvSetPath->setModel(folderModel);
    fldtrvSetPath->setHeaderHidden(true);
    for (int column = 1; column < folderModel->columnCount(); ++column)
        fldtrvSetPath->hideColumn(column);
    fldtrvSetPath->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    fldtrvSetPath->header()->setStretchLastSection(false);
    fldtrvSetPath->setGeometry(0, 0, twipsToPixels(5295), twipsToPixels(3180));

    lblPath = new QLabel(this);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    lblPath->setWordWrap(true);
    lblPath->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblPath->setGeometry(twipsToPixels(60), twipsToPixels(3300), twipsToPixels(5235), twipsToPixels(405));

    chkSubDir = new QCheckBox(tr("Include s&ubdirectories"), this);
    chkSubDir->setObjectName(QStringLiteral("chkSubDir"));
    // The design's box is sized for a smaller font; never cut the caption,
    // but keep it clear of the buttons.
    const QSize hint = chkSubDir->sizeHint();
    const int left = twipsToPixels(270);
    const int width = qMin(qMax(twipsToPixels(1995), hint.width()), twipsToPixels(3510) - left - 4);
    const int height = qMax(twipsToPixels(225), hint.height());
    chkSubDir->setGeometry(left, twipsToPixels(3810) + (twipsToPixels(225) - height) / 2, width, height);

    cmdPathControl[0] = new QPushButton(tr("OK"), this);
    cmdPathControl[1] = new QPushButton(tr("Cancel"), this);
    cmdPathControl[0]->setGeometry(twipsToPixels(3510), twipsToPixels(3780), twipsToPixels(825), twipsToPixels(345));
    cmdPathControl[1]->setGeometry(twipsToPixels(4440), twipsToPixels(3780), twipsToPixels(825), twipsToPixels(345));
    for (int i = 0; i < 2; ++i) {
        cmdPathControl[i]->setObjectName(QStringLiteral("cmdPathControl(%1)").arg(i));
        cmdPathControl[i]->setAutoDefault(false);
        connect(cmdPathControl[i], &QPushButton::clicked, this, [this, i] { cmdPathControl_Click(i); });
    }
    cmdPathControl[0]->setEnabled(false);

    setTabOrder(fldtrvSetPath, cmdPathControl[1]);
    setTabOrder(cmdPathControl[1], cmdPathControl[0]);
    setTabOrder(cmdPathControl[0], chkSubDir);

    Form_Load();
    connect(fldtrvSetPath->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { disconnect(m_keepInView); });
    // Connected after the load so that its own selection is not taken for the user's.
    connect(fldtrvSetPath->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { fldtrvSetPath_FolderClick(current); });
    // A click on the folder that is already selected (the fallback root, say)
    // is a selection too, though the current row does not change.
    connect(fldtrvSetPath, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (index == fldtrvSetPath->currentIndex())
            fldtrvSetPath_FolderClick(index);
    });
    fldtrvSetPath->setFocus();
}

QString frmBrowse::fallbackFolder()
{
    return QDir::toNativeSeparators(QDir::rootPath());
}

int frmBrowse::twipsToPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

void frmBrowse::Form_Load()
{
    const bool exists = !m_importDrawingsFolder.isEmpty() && QFileInfo::exists(m_importDrawingsFolder);
    const QString shown = exists ? m_importDrawingsFolder : fallbackFolder();
    const QModelIndex index = folderModel->index(QDir::fromNativeSeparators(shown));
    if (index.isValid()) {
        fldtrvSetPath->setCurrentIndex(index);
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            fldtrvSetPath->expand(parent);
        fldtrvSetPath->scrollTo(index, QAbstractItemView::PositionAtCenter);
        // The model lists and sorts folders in the background, moving rows
        // under the view; keep the selection in sight until the user acts.
        const QPersistentModelIndex selected(index);
        m_keepInView = connect(folderModel, &QAbstractItemModel::layoutChanged, this, [this, selected] {
            if (selected.isValid())
                fldtrvSetPath->scrollTo(selected, QAbstractItemView::PositionAtCenter);
        });
    }
    lblPath->setText(exists ? m_importDrawingsFolder : QString());
    cmdPathControl[0]->setEnabled(exists);
}

void frmBrowse::fldtrvSetPath_FolderClick(const QModelIndex &current)
{
    disconnect(m_keepInView);
    const QString path = current.isValid() ? folderModel->filePath(current) : QString();
    if (!path.isEmpty())
        m_importDrawingsFolder = QDir::toNativeSeparators(path);
    cmdPathControl[0]->setEnabled(true);
    lblPath->setText(m_importDrawingsFolder);
}

void frmBrowse::cmdPathControl_Click(int index)
{
    const WaitCursor wait;
    if (index == 0) {
        const bool includeSubfolders = chkSubDir->checkState() != Qt::Unchecked;
        const QStringList found = drawings::findDrawings(m_importDrawingsFolder, includeSubfolders);
        if (m_searchDone)
            m_searchDone(found);
        accept();
    } else if (index == 1) {
        reject();
    }
}

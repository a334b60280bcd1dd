#include "frmbrowse.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Opening size in twips: room for a few levels of folders with long names.
constexpr int OpenWidth = 8400;
constexpr int OpenHeight = 7200;

}  // namespace

frmBrowse::frmBrowse(QString& importDrawingsFolder, std::function<void(const QStringList&)> searchDone, QWidget* parent)
    : QDialog(parent), m_importDrawingsFolder(importDrawingsFolder), m_searchDone(std::move(searchDone))
{
    setObjectName(QStringLiteral("frmBrowse"));
    setWindowTitle(tr("Browse"));
    // A tool window without a task-bar button that can be resized and maximised.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);

    folderModel = new QFileSystemModel(this);
    folderModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folderModel->setReadOnly(true);
    folderModel->setRootPath(QString());

    fldtrvSetPath = new QTreeView(this);
    fldtrvSetPath->setObjectName(QStringLiteral("fldtrvSetPath"));
    fldtrvSetPath->setModel(folderModel);
    fldtrvSetPath->setHeaderHidden(true);
    for (int column = 1; column < folderModel->columnCount(); ++column) fldtrvSetPath->hideColumn(column);
    fldtrvSetPath->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    fldtrvSetPath->header()->setStretchLastSection(false);

    lblPath = new QLabel(tr("&Folder:"), this);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    txtPath = new QLineEdit(this);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    lblPath->setBuddy(txtPath);
    // Completion from a model of its own, so typing never moves the tree.
    auto* completionModel = new QFileSystemModel(this);
    completionModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    completionModel->setRootPath(QString());
    auto* completer = new QCompleter(completionModel, this);
    txtPath->setCompleter(completer);
    m_completionModel = completionModel;
    // The completer never asks the model to list a folder; once a folder
    // typed into has been listed, offer its sub-folders.
    connect(completionModel, &QFileSystemModel::directoryLoaded, this, [this, completer] {
        if (!txtPath->hasFocus() || txtPath->text().isEmpty())
            return;
        completer->setCompletionPrefix(txtPath->text());
        completer->complete();
    });

    lblPattern = new QLabel(tr("&Look for:"), this);
    lblPattern->setObjectName(QStringLiteral("lblPattern"));
    cboPattern = new QComboBox(this);
    cboPattern->setObjectName(QStringLiteral("cboPattern"));
    cboPattern->addItem(tr("Drawings (*.dwg)"), int(drawings::DrawingPattern::Dwg));
    cboPattern->addItem(tr("DXF drawings (*.dxf)"), int(drawings::DrawingPattern::Dxf));
    cboPattern->addItem(tr("Both (*.dwg, *.dxf)"), int(drawings::DrawingPattern::Both));
    lblPattern->setBuddy(cboPattern);

    chkSubDir = new QCheckBox(tr("Include s&ubdirectories"), this);
    chkSubDir->setObjectName(QStringLiteral("chkSubDir"));

    cmdPathControl[0] = new QPushButton(tr("OK"), this);
    cmdPathControl[1] = new QPushButton(tr("Cancel"), this);
    for (int i = 0; i < 2; ++i) {
        cmdPathControl[i]->setObjectName(QStringLiteral("cmdPathControl(%1)").arg(i));
        connect(cmdPathControl[i], &QPushButton::clicked, this, [this, i] { cmdPathControl_Click(i); });
    }
    // Enter anywhere in the dialog presses "OK".
    cmdPathControl[0]->setDefault(true);
    cmdPathControl[1]->setAutoDefault(false);
    cmdPathControl[0]->setEnabled(false);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(lblPath);
    pathRow->addWidget(txtPath, 1);
    auto* bottom = new QGridLayout;
    bottom->addWidget(lblPattern, 0, 0);
    bottom->addWidget(cboPattern, 0, 1);
    bottom->addWidget(chkSubDir, 1, 0, 1, 2);
    bottom->setColumnStretch(2, 1);
    bottom->addWidget(cmdPathControl[0], 1, 3);
    bottom->addWidget(cmdPathControl[1], 1, 4);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fldtrvSetPath, 1);
    layout->addLayout(pathRow);
    layout->addLayout(bottom);

    setTabOrder(fldtrvSetPath, txtPath);
    setTabOrder(txtPath, cmdPathControl[1]);
    setTabOrder(cmdPathControl[1], cmdPathControl[0]);
    setTabOrder(cmdPathControl[0], cboPattern);
    setTabOrder(cboPattern, chkSubDir);

    QSize size(twipsToPixels(OpenWidth), twipsToPixels(OpenHeight));
    if (const QScreen* screen = parent ? parent->screen() : this->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);

    Form_Load();
    connect(fldtrvSetPath->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { disconnect(m_keepInView); });
    // Connected after the load so that its own selection is not taken for the user's.
    connect(fldtrvSetPath->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { fldtrvSetPath_FolderClick(current); });
    // A click on the folder that is already selected (the fallback root, say)
    // is a selection too, though the current row does not change.
    connect(fldtrvSetPath, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        if (index == fldtrvSetPath->currentIndex())
            fldtrvSetPath_FolderClick(index);
    });
    connect(txtPath, &QLineEdit::textEdited, this, [this](const QString& text) { txtPath_Edited(text); });
    // A completion picked from the list is a typed path too.
    connect(completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& text) { txtPath_Edited(text); });
    fldtrvSetPath->setFocus();
}

QString frmBrowse::fallbackFolder() { return QDir::toNativeSeparators(QDir::rootPath()); }

int frmBrowse::twipsToPixels(int twips) const { return qRound(twips * logicalDpiX() / 1440.0); }

drawings::DrawingPattern frmBrowse::pattern() const
{
    return static_cast<drawings::DrawingPattern>(cboPattern->currentData().toInt());
}

void frmBrowse::setPattern(drawings::DrawingPattern pattern)
{
    cboPattern->setCurrentIndex(qMax(0, cboPattern->findData(int(pattern))));
}

void frmBrowse::showFolder(const QModelIndex& index)
{
    fldtrvSetPath->scrollTo(index, QAbstractItemView::PositionAtCenter);
    // scrollTo also scrolls sideways to the widest name's end, cutting names
    // off on the left. Keep the tree's left edge in view while the folder's
    // name starts in the left half; deeper, start at the name's parent.
    QScrollBar* bar = fldtrvSetPath->horizontalScrollBar();
    const int left = fldtrvSetPath->visualRect(index).left() + bar->value();
    bar->setValue(left < fldtrvSetPath->viewport()->width() / 2 ? 0 : left - fldtrvSetPath->indentation());
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
        showFolder(index);
        // The model lists and sorts folders in the background, moving rows
        // under the view; keep the selection in sight until the user acts.
        const QPersistentModelIndex selected(index);
        m_keepInView = connect(folderModel, &QAbstractItemModel::layoutChanged, this, [this, selected] {
            if (selected.isValid())
                showFolder(selected);
        });
    }
    txtPath->setText(exists ? m_importDrawingsFolder : QString());
    cmdPathControl[0]->setEnabled(exists);
}

void frmBrowse::fldtrvSetPath_FolderClick(const QModelIndex& current)
{
    disconnect(m_keepInView);
    const QString path = current.isValid() ? folderModel->filePath(current) : QString();
    if (!path.isEmpty())
        m_importDrawingsFolder = QDir::toNativeSeparators(path);
    cmdPathControl[0]->setEnabled(true);
    if (!m_followingText)
        txtPath->setText(m_importDrawingsFolder);
}

void frmBrowse::txtPath_Edited(const QString& text)
{
    const QString typedFolder = QFileInfo(QDir::fromNativeSeparators(text)).path();
    if (const QModelIndex listed = m_completionModel->index(typedFolder);
        listed.isValid() && m_completionModel->canFetchMore(listed))
        m_completionModel->fetchMore(listed);

    // Only an existing folder is a choice; anything else leaves "OK" off
    // until the text names one.
    const QFileInfo typed(QDir::fromNativeSeparators(text.trimmed()));
    const bool folder = !text.trimmed().isEmpty() && typed.isAbsolute() && typed.isDir();
    cmdPathControl[0]->setEnabled(folder);
    if (!folder)
        return;
    m_importDrawingsFolder = QDir::toNativeSeparators(QDir::cleanPath(typed.absoluteFilePath()));
    disconnect(m_keepInView);
    const QModelIndex index = folderModel->index(typed.absoluteFilePath());
    if (!index.isValid())
        return;
    // The tree follows the text; the text stays as typed.
    m_followingText = true;
    fldtrvSetPath->setCurrentIndex(index);
    m_followingText = false;
    showFolder(index);
}

void frmBrowse::cmdPathControl_Click(int index)
{
    const WaitCursor wait;
    if (index == 0) {
        if (!cmdPathControl[0]->isEnabled())
            return;
        const bool includeSubfolders = chkSubDir->checkState() != Qt::Unchecked;
        const QStringList found = drawings::findDrawings(m_importDrawingsFolder, includeSubfolders, pattern());
        if (m_searchDone)
            m_searchDone(found);
        accept();
    } else if (index == 1) {
        reject();
    }
}

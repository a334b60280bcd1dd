#pragma once

// The folder browser of the drawing step: a folder tree, the chosen path,
// "Include subdirectories", "OK" (search, then close) and "Cancel".
// The chosen folder is written through to the caller's folder variable at
// every selection, so it survives a cancelled dialog.

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

class frmBrowse : public QDialog {
    Q_OBJECT
public:
    // searchDone receives every drawing found, in search order, once "OK"
    // has searched; the dialog closes after it returns.
    frmBrowse(QString &importDrawingsFolder, std::function<void(const QStringList &)> searchDone,
              QWidget *parent = nullptr);

    QTreeView *fldtrvSetPath = nullptr;
    QFileSystemModel *folderModel = nullptr;
    QLabel *lblPath = nullptr;
    QCheckBox *chkSubDir = nullptr;
    QPushButton *cmdPathControl[2] = {}; // 0 "OK", 1 "Cancel"

    void cmdPathControl_Click(int index);

    // The folder the tree shows when the stored one does not exist.
    static QString fallbackFolder();

private:
    void Form_Load();
    void fldtrvSetPath_FolderClick(const QModelIndex &current);
    int twipsToPixels(int twips) const;

    QString &m_importDrawingsFolder;
    QMetaObject::Connection m_keepInView;
    std::function<void(const QStringList &)> m_searchDone;
};

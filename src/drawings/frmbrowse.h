#pragma once

// The folder browser of the drawing step: a folder tree, the chosen path (also
// typed or pasted, with completion), what to look for, "Include
// subdirectories", "OK" (search, then close) and "Cancel". It opens at a
// useful size and can be resized or maximised. The chosen folder is written
// through to the caller's folder variable at every selection, so it survives
// a cancelled dialog.

#include "drawings/search.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

class frmBrowse : public QDialog {
    Q_OBJECT
public:
    // searchDone receives every drawing found, in search order, once "OK"
    // has searched; the dialog closes after it returns.
    frmBrowse(QString& importDrawingsFolder, std::function<void(const QStringList&)> searchDone,
              QWidget* parent = nullptr);

    QTreeView* fldtrvSetPath = nullptr;
    QFileSystemModel* folderModel = nullptr;
    QLabel* lblPath = nullptr;     // caption of txtPath
    QLineEdit* txtPath = nullptr;  // the chosen folder
    QLabel* lblPattern = nullptr;
    QComboBox* cboPattern = nullptr;  // by DrawingPattern
    QCheckBox* chkSubDir = nullptr;
    QPushButton* cmdPathControl[2] = {};  // 0 "OK", 1 "Cancel"

    void cmdPathControl_Click(int index);

    drawings::DrawingPattern pattern() const;
    void setPattern(drawings::DrawingPattern pattern);

    // The folder the tree shows when the stored one does not exist.
    static QString fallbackFolder();

private:
    void Form_Load();
    void fldtrvSetPath_FolderClick(const QModelIndex& current);
    void txtPath_Edited(const QString& text);
    // Scrolls the tree to the folder, its name shown from the left edge.
    void showFolder(const QModelIndex& index);
    int twipsToPixels(int twips) const;

    QString& m_importDrawingsFolder;
    QMetaObject::Connection m_keepInView;
    bool m_followingText = false;
    QFileSystemModel* m_completionModel = nullptr;
    std::function<void(const QStringList&)> m_searchDone;
};

#pragma once
// A list with a check box on each row, in columns, whose first column may be
// edited in place. It tells a change of a row's check mark apart from an
// in-place edit, which QTreeWidget reports through the same signal.

#include <QTreeWidget>

class CheckList : public QTreeWidget {
    Q_OBJECT
public:
    explicit CheckList(QWidget* parent = nullptr);

    // A new row with its check box, texts by column.
    QTreeWidgetItem* addRow(const QStringList& texts, bool checked);
    void setAllChecked(bool checked);
    bool isChecked(int row) const;

signals:
    // A row's check mark changed, by the user or by the program.
    void itemCheckChanged(QTreeWidgetItem* item);
    // An in-place edit was accepted, also when the text stayed the same.
    void labelEditEnded(QTreeWidgetItem* item);

protected:
    void commitData(QWidget* editor) override;
    // Space ticks or unticks the current row whichever of its cells is current.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onItemChanged(QTreeWidgetItem* item, int column);
};

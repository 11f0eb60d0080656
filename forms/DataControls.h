// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "store/Table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QStringList>
#include <QToolButton>
#include <QWidget>

// Thin widgets linked to one column of a data source. They show the current
// record's value, put the table into edit state when the reader types, and
// hand the typed text to the field before a post or a move, on focus-out and
// on Enter.
namespace quil {

// What a bound control does when its link reports a change.
class FieldLinkClient {
public:
    virtual ~FieldLinkClient() = default;
    // Show the field's current value (never throws).
    virtual void dataChanged() = 0;
    // Write the pending value into the field (may throw quil::Error).
    virtual void updateData() = 0;
    // The table was opened, closed or changed state.
    virtual void activeChanged() {}
};

// The link between one control and one column of a data source.
class FieldLink : public QObject {
    Q_OBJECT
public:
    explicit FieldLink(FieldLinkClient &client, QObject *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    void setFieldName(const QString &name);
    QString fieldName() const { return m_fieldName; }

    Table *table() const;
    bool active() const;
    bool editing() const;
    // The field, or null when there is no open table or no such column.
    Field *field() const;
    // The field's text form, or empty when there is none; never throws.
    QString text() const;
    QString displayText() const;
    bool isIntegerField() const;

    // Puts a browsing table into edit state; true when the record can be
    // written afterwards. Table errors propagate.
    bool edit();
    // The control holds text the field has not seen yet.
    void setModified();
    bool modified() const { return m_modified; }
    // Drops the pending text and shows the field again.
    void reset();
    // Writes the pending text; errors propagate and the text stays pending.
    void updateRecord();
    // True while edit() runs, when the table may replace the record under
    // the control's feet.
    bool inEdit() const { return m_inEdit > 0; }

private:
    void onRecordChanged();
    void onFieldChanged(int index);
    void onStateChanged();

    FieldLinkClient &m_client;
    QPointer<DataSource> m_source;
    QString m_fieldName;
    bool m_modified = false;
    int m_inEdit = 0;
};

// One-line edit bound to a column. Integer columns take only digits and a
// sign from the keyboard. Dates show their display form when not focused.
class DBEdit : public QLineEdit, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBEdit(QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void dataChanged() override;
    void updateData() override;
    void activeChanged() override;
    void userEdited();

    FieldLink m_link;
    bool m_loading = false;
};

// Read-only text showing a column of the current record.
class DBText : public QLabel, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBText(QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }

private:
    void dataChanged() override;
    void updateData() override {}

    FieldLink m_link;
};

// Editable combo box: free text plus a choice list, bound to a column.
class DBComboBox : public QComboBox, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBComboBox(QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }
    // Replaces the choice list; the shown text (typed or not) stays.
    void setItems(const QStringList &items);
    QStringList items() const;
    // Read-only: shows the value, takes neither typing nor a choice.
    void setReadOnly(bool on);
    bool isReadOnly() const { return m_readOnly; }
    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void dataChanged() override;
    void updateData() override;
    void activeChanged() override;
    void userEdited();

    FieldLink m_link;
    bool m_loading = false;
    bool m_readOnly = false;
};

// Multi-line text bound to a column; stored with CR LF, shown with LF.
class DBMemo : public QPlainTextEdit, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void dataChanged() override;
    void updateData() override;
    void activeChanged() override;
    void userEdited();

    FieldLink m_link;
    bool m_loading = false;
};

// A captioned group of radio buttons laid out in columns, like a classic
// radio group. `changed` is sent whenever the selection moves to another
// item, by the reader or by code; choosing the item already chosen sends
// nothing.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent = nullptr);

    QStringList items() const { return m_items; }
    int columns() const { return m_columns; }
    int count() const { return int(m_buttons.size()); }
    QRadioButton *button(int index) const;
    QString itemText(int index) const;
    // -1 when no item is chosen.
    int itemIndex() const { return m_index; }
    // -1 clears the selection (sends nothing).
    void setItemIndex(int index);
    // Space the buttons take inside the group, in group coordinates; the
    // contents rectangle when not set. Other controls may share the rest.
    void setButtonArea(const QRect &area);

signals:
    void changed();
    // The reader clicked an item (also the one already chosen).
    void itemClicked(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void arrange();

private:
    QStringList m_items;
    int m_columns;
    int m_index = -1;
    QRect m_area;
    QList<QRadioButton *> m_buttons;
};

// Radio group bound to a column: stores the chosen item's caption and shows
// no item for a value that is not among the items.
class DBRadioGroup : public RadioGroup, private FieldLinkClient {
    Q_OBJECT
public:
    DBRadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }

private:
    void dataChanged() override;
    void updateData() override;
    void userClicked(int index);

    FieldLink m_link;
};

// Check box bound to a column, by default a Boolean one ("True"/"False").
class DBCheckBox : public QCheckBox, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBCheckBox(const QString &caption, QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    FieldLink &link() { return m_link; }
    void setValueChecked(const QString &v) { m_valueChecked = v; }
    void setValueUnchecked(const QString &v) { m_valueUnchecked = v; }

private:
    void dataChanged() override;
    void updateData() override;
    void userClicked();

    FieldLink m_link;
    QString m_valueChecked = QStringLiteral("True");
    QString m_valueUnchecked = QStringLiteral("False");
};

// Drop-down list whose choices are one column of another data source's
// table; key and shown text are both that column. Choosing writes the value
// into the bound column at once and sends `clicked`. The current value is
// shown even when the list does not hold it.
class DBLookupComboBox : public QComboBox, private FieldLinkClient {
    Q_OBJECT
public:
    explicit DBLookupComboBox(QWidget *parent = nullptr);
    void setDataSource(DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &name) { m_link.setFieldName(name); }
    void setListSource(DataSource *source);
    void setListField(const QString &name);
    FieldLink &link() { return m_link; }

    // The text shown in the box: the field's value when the list has it,
    // else nothing, as a lookup shows a key it cannot find.
    QString text();
    // The choices, read afresh from the list table when it changed.
    QStringList listValues();
    void refreshList();

    void showPopup() override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void dataChanged() override;
    void updateData() override;
    void userChose(int index);
    void ensureList();
    QStringList readListTable() const;

    FieldLink m_link;
    QPointer<DataSource> m_listSource;
    QString m_listField;
    QString m_text;
    bool m_listDirty = true;
    bool m_loading = false;
};

// The record navigator: first, prior, next, last, insert, delete, edit, post,
// cancel and refresh, enabled by the table's state like a classic navigator.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh, ButtonCount };
    using Buttons = QList<Button>;
    static Buttons allButtons();

    explicit DBNavigator(QWidget *parent = nullptr);
    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    // Only these buttons are shown, in the standard order.
    void setVisibleButtons(const Buttons &buttons);
    // Delete asks "レコードを削除しますか?" first (on by default).
    void setConfirmDelete(bool on) { m_confirmDelete = on; }
    QToolButton *button(Button b) const { return m_buttons[b]; }
    // Runs what the button does (inside the general error display).
    void btnClick(Button b);
    void updateButtons();

signals:
    void clicked(quil::DBNavigator::Button button);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void arrange();
    void doAction(Button b);

    QPointer<DataSource> m_source;
    QToolButton *m_buttons[ButtonCount];
    bool m_visible[ButtonCount];
    bool m_confirmDelete = true;
};

} // namespace quil

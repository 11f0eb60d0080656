// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "text/Error.h"

#include <QEvent>
#include <QFlags>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>

class QMimeData;
class QDropEvent;

// Drop targets for data dragged in from other programs, over Qt's drag and
// drop. A component is bound to one widget, its Target; an event filter on
// that widget turns Qt's drag events into the four events of the component.
namespace NuvraOLE {

// Key-state bits as a drag reports them.
enum : quint32 {
    MK_LBUTTON = 0x1,
    MK_RBUTTON = 0x2,
    MK_SHIFT = 0x4,
    MK_CONTROL = 0x8,
    MK_MBUTTON = 0x10,
    MK_ALT = 0x20,
};

// Drop effects.
enum : quint32 {
    DROPEFFECT_NONE = 0,
    DROPEFFECT_COPY = 1,
    DROPEFFECT_MOVE = 2,
    DROPEFFECT_LINK = 4,
    DROPEFFECT_SCROLL = 0x80000000u,
};

// Result codes of the registration.
enum : quint32 {
    S_OK = 0,
    DRAGDROP_E_NOTREGISTERED = 0x80040100u,
    DRAGDROP_E_ALREADYREGISTERED = 0x80040101u,
    E_INVALIDARG = 0x80070057u,
};

enum TShiftStateFlag {
    ssShift = 0x1,
    ssAlt = 0x2,
    ssCtrl = 0x4,
    ssLeft = 0x8,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftStateFlag)

// Key-state bits from Qt's modifiers and mouse buttons.
quint32 keyStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

// Registration failures. FailedStep: 1 start-up, 2 lock, 3 registration,
// 4 revocation.
class ECustomDropTarget : public quil::Error {
public:
    ECustomDropTarget(const QString &message, int failedStep, quint32 resultCode)
        : quil::Error(message), FailedStep(failedStep), ResultCode(resultCode) {}
    int FailedStep;
    quint32 ResultCode;
};

// A value of the wrong kind handed to an assignment.
class EConvertError : public quil::Error {
public:
    using quil::Error::Error;
};

enum TDropCursor : quint8 { dcNone, dcCopy, dcMove, dcLink, dcScroll };

quint32 DropCursorToEffect(TDropCursor cursor);
// The Qt action for an effect; the scroll effect carries no data transfer
// and so offers nothing to drop.
Qt::DropAction effectToDropAction(quint32 effect);

// Which effect a drag offers for each combination of Shift, Ctrl and Alt.
class TDropCursors : public QObject {
    Q_OBJECT
public:
    explicit TDropCursors(QObject *parent = nullptr);

    // Copies the settings of another TDropCursors; any other source is a
    // conversion error naming the source's class.
    void Assign(const QObject *Source);

    // Overwrites effect with the setting for the Shift/Ctrl/Alt bits of keys.
    void SetCursors(quint32 keys, quint32 &effect) const;

    TDropCursor None = dcCopy;
    TDropCursor Ctrl = dcCopy;
    TDropCursor Shift = dcMove;
    TDropCursor Alt = dcCopy;
    TDropCursor Ctrl_Shift = dcLink;
    TDropCursor Ctrl_Alt = dcCopy;
    TDropCursor Ctrl_Alt_Shift = dcCopy;
    TDropCursor Alt_Shift = dcCopy;
};

class TCustomDropTarget;

// Receives Qt's drag events for a registered widget and hands them to its
// owning component.
class TDropTarget : public QObject {
    Q_OBJECT
public:
    explicit TDropTarget(TCustomDropTarget *owner);

    void DragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect);
    void DragOver(quint32 keys, QPoint pt, quint32 &effect);
    void DragLeave();
    void Drop(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Refused {
        const QEvent *event = nullptr;
        QEvent::Type type = QEvent::None;
        QPoint global;
    };
    TCustomDropTarget *m_owner;
    Refused m_refused;
};

class TCustomDropTarget : public QObject {
    Q_OBJECT
public:
    using TDragEvent = std::function<void(QObject *Sender, TShiftState Shift, int X, int Y)>;
    using TNotifyEvent = std::function<void(QObject *Sender)>;

    explicit TCustomDropTarget(QObject *AOwner = nullptr);
    ~TCustomDropTarget() override;

    QWidget *Target() const { return m_target; }
    // Registers the widget (null unregisters). A widget that already has a
    // drop target fails with step 3; Target then keeps its old value and
    // nothing is registered.
    void SetTarget(QWidget *control);

    TDropCursors *Cursors() const { return m_cursors; }
    // Copies the values.
    void SetCursors(const QObject *value);

    // The widget registered now; null when nothing is registered.
    QWidget *RegisteredHandle() const { return m_registered; }
    TDropTarget *DropTargetObject() const { return m_dropTarget; }

    static TShiftState KeyStateToShiftState(quint32 keys);

    // The widget that has a drop target registered, and with which component.
    static TCustomDropTarget *registeredFor(const QWidget *widget);

    TDragEvent OnDragEnter;
    TDragEvent OnDragOver;
    TNotifyEvent OnDragLeave;
    TDragEvent OnDrop;

    // Whether the drag now in progress carries the component's data.
    bool Acceptable = true;

    virtual void DoDragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect);
    virtual void DoDragOver(quint32 keys, QPoint pt, quint32 &effect);
    virtual void DoDragLeave();
    virtual void DoDrop(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect);

private:
    void fire(const TDragEvent &handler, quint32 keys, QPoint pt, quint32 &effect);
    void targetDestroyed(QObject *object);

    TDropTarget *m_dropTarget = nullptr;
    QWidget *m_registered = nullptr;
    QWidget *m_target = nullptr;
    TDropCursors *m_cursors;
    QMetaObject::Connection m_destroyedConnection;
};

} // namespace NuvraOLE

Q_DECLARE_OPERATORS_FOR_FLAGS(NuvraOLE::TShiftState)

// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoinput/DropTarget.h"
#include "platform/ErrorDisplay.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QHash>
#include <QMimeData>

namespace NuvraOLE {

namespace {

const char *const MsgRevokeFailed = "COMの開放に失敗しました。";
const char *const MsgRegisterTwice =
    "そのTargetは既に別のOLEDropTargetとして指定されています。\nDropTargetは二重に登録できません。";
const char *const MsgRegisterFailed = "COMの登録に失敗しました。";

// The drag-and-drop service: which widget has which drop target. One entry
// per widget, so a second registration for the same widget is refused.
struct Registration {
    TDropTarget *object = nullptr;
    QPointer<QWidget> widget;
    QPointer<QWidget> viewport; // scroll areas get their drags on the viewport
    bool widgetAcceptedDrops = false;
    bool viewportAcceptedDrops = false;
};

QHash<const QWidget *, Registration> &registry() {
    static QHash<const QWidget *, Registration> r;
    return r;
}

quint32 registerDragDrop(QWidget *widget, TDropTarget *object) {
    if (!widget || !object)
        return E_INVALIDARG;
    auto &r = registry();
    if (r.contains(widget))
        return DRAGDROP_E_ALREADYREGISTERED;
    Registration reg;
    reg.object = object;
    reg.widget = widget;
    reg.widgetAcceptedDrops = widget->acceptDrops();
    widget->installEventFilter(object);
    widget->setAcceptDrops(true);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(widget)) {
        if (QWidget *vp = area->viewport()) {
            reg.viewport = vp;
            reg.viewportAcceptedDrops = vp->acceptDrops();
            vp->installEventFilter(object);
            vp->setAcceptDrops(true);
        }
    }
    r.insert(widget, reg);
    return S_OK;
}

// The widget may be gone already (its destruction is what revokes); then
// only the entry is dropped.
quint32 revokeDragDrop(const QWidget *key) {
    auto &r = registry();
    auto it = r.find(key);
    if (it == r.end())
        return DRAGDROP_E_NOTREGISTERED;
    Registration reg = it.value();
    r.erase(it);
    if (reg.widget) {
        reg.widget->removeEventFilter(reg.object);
        reg.widget->setAcceptDrops(reg.widgetAcceptedDrops);
    }
    if (reg.viewport) {
        reg.viewport->removeEventFilter(reg.object);
        reg.viewport->setAcceptDrops(reg.viewportAcceptedDrops);
    }
    return S_OK;
}

// The effect table decides the action whatever the source offers; Qt's own
// setter would fall back to the proposed action.
struct DropActionAccess : QDropEvent {
    static constexpr Qt::DropAction QDropEvent::*action = &DropActionAccess::m_dropAction;
};

void forceDropAction(QDropEvent *event, Qt::DropAction action) {
    event->setDropAction(action);
    event->*DropActionAccess::action = action;
}

quint32 effectFromDropActions(Qt::DropActions actions) {
    quint32 effect = DROPEFFECT_NONE;
    if (actions & Qt::CopyAction)
        effect |= DROPEFFECT_COPY;
    if (actions & Qt::MoveAction)
        effect |= DROPEFFECT_MOVE;
    if (actions & Qt::LinkAction)
        effect |= DROPEFFECT_LINK;
    return effect;
}

} // namespace

quint32 keyStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    quint32 keys = 0;
    if (buttons & Qt::LeftButton)
        keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        keys |= MK_CONTROL;
    if (modifiers & Qt::AltModifier)
        keys |= MK_ALT;
    return keys;
}

quint32 DropCursorToEffect(TDropCursor cursor) {
    switch (cursor) {
    case dcNone: return DROPEFFECT_NONE;
    case dcCopy: return DROPEFFECT_COPY;
    case dcMove: return DROPEFFECT_MOVE;
    case dcLink: return DROPEFFECT_LINK;
    case dcScroll: return DROPEFFECT_SCROLL;
    }
    return DROPEFFECT_NONE;
}

Qt::DropAction effectToDropAction(quint32 effect) {
    if (effect & DROPEFFECT_COPY)
        return Qt::CopyAction;
    if (effect & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (effect & DROPEFFECT_LINK)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// ---------------------------------------------------------------------------

TDropCursors::TDropCursors(QObject *parent) : QObject(parent) {}

void TDropCursors::Assign(const QObject *Source) {
    if (auto *src = qobject_cast<const TDropCursors *>(Source)) {
        None = src->None;
        Ctrl = src->Ctrl;
        Shift = src->Shift;
        Alt = src->Alt;
        Ctrl_Shift = src->Ctrl_Shift;
        Ctrl_Alt = src->Ctrl_Alt;
        Ctrl_Alt_Shift = src->Ctrl_Alt_Shift;
        Alt_Shift = src->Alt_Shift;
        return;
    }
    QString name = Source ? QString::fromLatin1(Source->metaObject()->className()) : QStringLiteral("nil");
    // The reader knows the component by its class name, not by our namespace.
    if (const qsizetype sep = name.lastIndexOf(QLatin1String("::")); sep >= 0)
        name = name.mid(sep + 2);
    throw EConvertError(name + QStringLiteral("をTDropCursorsに代入できません。"));
}

void TDropCursors::SetCursors(quint32 keys, quint32 &effect) const {
    TDropCursor c = None;
    switch (keys & (MK_SHIFT | MK_CONTROL | MK_ALT)) {
    case 0: c = None; break;
    case MK_CONTROL: c = Ctrl; break;
    case MK_SHIFT: c = Shift; break;
    case MK_ALT: c = Alt; break;
    case MK_CONTROL | MK_SHIFT: c = Ctrl_Shift; break;
    case MK_CONTROL | MK_ALT: c = Ctrl_Alt; break;
    case MK_CONTROL | MK_ALT | MK_SHIFT: c = Ctrl_Alt_Shift; break;
    case MK_ALT | MK_SHIFT: c = Alt_Shift; break;
    }
    effect = DropCursorToEffect(c);
}

// ---------------------------------------------------------------------------

TDropTarget::TDropTarget(TCustomDropTarget *owner) : QObject(owner), m_owner(owner) {}

void TDropTarget::DragEnter(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) {
    m_owner->DoDragEnter(data, keys, pt, effect);
}

void TDropTarget::DragOver(quint32 keys, QPoint pt, quint32 &effect) { m_owner->DoDragOver(keys, pt, effect); }

void TDropTarget::DragLeave() { m_owner->DoDragLeave(); }

void TDropTarget::Drop(const QMimeData *data, quint32 keys, QPoint pt, quint32 &effect) {
    m_owner->DoDrop(data, keys, pt, effect);
}

bool TDropTarget::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    // Only the drag events of a live registration are taken; anything left
    // over (a filter not yet removed) passes on.
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !m_owner->RegisteredHandle())
        return QObject::eventFilter(watched, event);

    // A failing event handler is shown like any other; nothing crosses the
    // event loop.
    if (type == QEvent::DragLeave) {
        m_refused = {};
        quil::guard([&] { DragLeave(); });
        event->accept();
        return true;
    }

    auto *drop = static_cast<QDropEvent *>(event);
    // Positions go out in screen coordinates, as the drag reports them.
    const QPoint pt = widget->mapToGlobal(drop->position()).toPoint();
    const Refused refused = m_refused;
    m_refused = {};
    if (refused.event == event && refused.type == type && refused.global == pt && watched == m_owner->RegisteredHandle()) {
        drop->ignore();
        return true;
    }
    const quint32 keys = keyStateFromQt(drop->modifiers(), drop->buttons());
    quint32 effect = effectFromDropActions(drop->possibleActions());
    quil::guard([&] {
        switch (type) {
        case QEvent::DragEnter: DragEnter(drop->mimeData(), keys, pt, effect); break;
        case QEvent::DragMove: DragOver(keys, pt, effect); break;
        default: Drop(drop->mimeData(), keys, pt, effect); break;
        }
    });
    const Qt::DropAction action = effectToDropAction(effect);
    forceDropAction(drop, action);
    if (action == Qt::IgnoreAction) {
        drop->ignore();
        // Qt hands a refused event on to the parent: from a scroll area's
        // viewport that is the registered widget itself, which must not see
        // the same drag a second time.
        if (watched != m_owner->RegisteredHandle())
            m_refused = {event, type, pt};
    } else {
        drop->accept();
    }
    return true;
}

// ---------------------------------------------------------------------------

TCustomDropTarget::TCustomDropTarget(QObject *AOwner) : QObject(AOwner), m_cursors(new TDropCursors(this)) {}

TCustomDropTarget::~TCustomDropTarget() {
    if (m_registered) {
        QObject::disconnect(m_destroyedConnection);
        revokeDragDrop(m_registered);
        m_registered = nullptr;
    }
}

TCustomDropTarget *TCustomDropTarget::registeredFor(const QWidget *widget) {
    auto it = registry().constFind(widget);
    if (it == registry().constEnd() || !it->object)
        return nullptr;
    return qobject_cast<TCustomDropTarget *>(it->object->parent());
}

void TCustomDropTarget::SetTarget(QWidget *control) {
    if (m_registered) {
        const quint32 rc = revokeDragDrop(m_registered);
        if (rc != S_OK)
            throw ECustomDropTarget(QString::fromUtf8(MsgRevokeFailed), 4, rc);
        QObject::disconnect(m_destroyedConnection);
        m_registered = nullptr;
    }
    if (!control) {
        m_target = nullptr;
        return;
    }
    // The object of the previous registration may be inside one of its own
    // event callbacks (a handler that moves the component), so it goes later.
    if (m_dropTarget)
        m_dropTarget->deleteLater();
    m_dropTarget = new TDropTarget(this);

    const quint32 rc = registerDragDrop(control, m_dropTarget);
    if (rc != S_OK) {
        if (rc == DRAGDROP_E_ALREADYREGISTERED)
            throw ECustomDropTarget(QString::fromUtf8(MsgRegisterTwice), 3, rc);
        throw ECustomDropTarget(QString::fromUtf8(MsgRegisterFailed), 3, rc);
    }
    m_registered = control;
    m_target = control;
    m_destroyedConnection =
        connect(control, &QObject::destroyed, this, [this](QObject *o) { targetDestroyed(o); });
}

void TCustomDropTarget::targetDestroyed(QObject *object) {
    if (object != m_target && object != m_registered)
        return;
    if (m_registered)
        revokeDragDrop(m_registered);
    m_registered = nullptr;
    m_target = nullptr;
}

void TCustomDropTarget::SetCursors(const QObject *value) { m_cursors->Assign(value); }

TShiftState TCustomDropTarget::KeyStateToShiftState(quint32 keys) {
    TShiftState s;
    if (keys & MK_CONTROL)
        s |= ssCtrl;
    if (keys & MK_SHIFT)
        s |= ssShift;
    if (keys & MK_ALT)
        s |= ssAlt;
    if (keys & MK_LBUTTON)
        s |= ssLeft;
    if (keys & MK_MBUTTON)
        s |= ssMiddle;
    if (keys & MK_RBUTTON)
        s |= ssRight;
    return s;
}

void TCustomDropTarget::fire(const TDragEvent &handler, quint32 keys, QPoint pt, quint32 &effect) {
    if (!Acceptable) {
        effect = DROPEFFECT_NONE;
        return;
    }
    m_cursors->SetCursors(keys, effect);
    if (handler)
        handler(this, KeyStateToShiftState(keys), pt.x(), pt.y());
}

void TCustomDropTarget::DoDragEnter(const QMimeData *, quint32 keys, QPoint pt, quint32 &effect) {
    fire(OnDragEnter, keys, pt, effect);
}

void TCustomDropTarget::DoDragOver(quint32 keys, QPoint pt, quint32 &effect) { fire(OnDragOver, keys, pt, effect); }

void TCustomDropTarget::DoDragLeave() {
    if (Acceptable && OnDragLeave)
        OnDragLeave(this);
}

void TCustomDropTarget::DoDrop(const QMimeData *, quint32 keys, QPoint pt, quint32 &effect) {
    fire(OnDrop, keys, pt, effect);
}

} // namespace NuvraOLE

#pragma once
// Thread: GUI thread. Nodes belong to their QObject parent (the parent node or the effect);
//         removed nodes are deleted later by the event loop, and each deleted node asks the
//         render thread (queued) to delete its worker, once the request in flight is done.
// Owns: its children (QObject children); the list orders them.
// Errors: refused edits return false (inserts and presets with the messages below); a
//         refused preset changes nothing of this node; a child's failure is reported with
//         its position.

#include "effects/tebase.h"

#include <QHash>
#include <memory>

#include <QVariantList>

// A node of an effect's layer tree as QML edits it: children inserted by class name, removed,
// moved and rebuilt from presets. Its whole subtree travels to the render thread as one tree
// state (each node's state map with its children's under "_children_").
class TTreeNode : public TEBase
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE settext NOTIFY textChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setenabled NOTIFY enabledChanged)
    Q_PROPERTY(bool serialInput READ serialInput WRITE setserialInput NOTIFY serialInputChanged)
    Q_PROPERTY(TTreeNode* parent READ parent NOTIFY parentChanged)
    Q_PROPERTY(QVariantList children READ children NOTIFY childrenChanged)
    Q_PROPERTY(int positionWithSibling READ positionWithSibling NOTIFY positionWithSiblingChanged)
    Q_PROPERTY(uint thumbnailViewerUid READ thumbnailViewerUid WRITE setThumbnailViewerUid
                   NOTIFY thumbnailViewerUidChanged)
    Q_PROPERTY(int thumbnailLength READ thumbnailLength WRITE setThumbnailLength NOTIFY thumbnailLengthChanged)
public:
    static const QString kChildren;

    explicit TTreeNode(QObject* parent = nullptr);
    ~TTreeNode() override;
    // A node of a registered tree class under `parent`; null (nothing made) for any other name.
    static TTreeNode* create(const QString& className, TTreeNode* parent = nullptr);

    QString text() const { return params().value(QStringLiteral("text")).toString(); }
    bool enabled() const { return params().value(QStringLiteral("enabled")).toBool(); }
    bool serialInput() const { return params().value(QStringLiteral("serialInput")).toBool(); }
    void settext(const QString& v);
    void setenabled(bool v);
    void setserialInput(bool v);

    int childCount() const { return m_children.size(); }
    QVariantList children() const;
    int positionWithSibling() const;
    uint thumbnailViewerUid() const { return m_stateData.value(QStringLiteral("thumbnailViewerUid")).toUInt(); }
    int thumbnailLength() const { return m_stateData.value(QStringLiteral("thumbnailLength")).toInt(); }

    // An existing node (made elsewhere or taken from another node) at `position`; it becomes
    // this node's QObject child. Refused outside 0..count and for this node or an ancestor.
    bool insertChild(int position, TTreeNode* node);
    // Out of the list without deleting it or changing its QObject parent; null outside the range.
    TTreeNode* takeChild(int position);
    QVariantMap treeState() const;
    bool setTreeState(const QVariantMap& state);
    // The tree state a root of `preset`'s class would have after setPreset(preset), this
    // node's children moved into it first when its class differs (as an effect swaps its
    // root), worked out on a scratch copy: no live node changes or signals. Nodes that would
    // stay keep their uids, and so their workers; the rest are scratch nodes held by
    // `scratch`, which the caller keeps until the state has been rendered (deleting it
    // deletes their workers). Thumbnail viewers are left out: a live one must not show it.
    QVariantMap presetTreeState(const QVariantMap& preset, std::unique_ptr<TTreeNode>& scratch,
                                QString& error) const;
    // A tree state that draws into no layer's thumbnail viewer (for renders nobody browses).
    static QVariantMap withoutThumbnailViewers(QVariantMap state);

public slots:
    TTreeNode* parent() const;
    TTreeNode* child(int number) const;
    bool insertChild(int position, const QString& className);
    bool removeChild(int position);
    bool moveChild(int from, int to);
    void clearChildren();
    QVariantMap getPreset() const;
    // Empty on success, else the first error (a child's prefixed with its position).
    QString setPreset(const QVariantMap& preset);
    bool insertPresetChild(int position, const QVariantMap& nodePreset);
    void setThumbnailViewerUid(uint uid);
    void setThumbnailLength(int length);

signals:
    void textChanged(QString);
    void enabledChanged(bool);
    void serialInputChanged(bool);
    void parentChanged();
    void childrenChanged(QVariantList children);
    void positionWithSiblingChanged(int position);
    void thumbnailViewerUidChanged(uint);
    void thumbnailLengthChanged(int);
    void deleteWorker(uint uid);
    // A node moved to another parent takes its worker along (queued to the render thread,
    // ahead of any deletion of its old parent's worker).
    void reParentWorker(uint uid, uint parentUid);

protected:
    void onParentChanged() override;

private:
    // A child of `className` for entry `i` of a document: the existing one when its class
    // matches, else a new one in its place; null when the class cannot be made.
    TTreeNode* childForEntry(int i, const QString& className);
    // Removes children beyond `count` and logs a remaining difference.
    void trimChildren(int count);
    bool isAncestorOrSelf(const TTreeNode* node) const;
    // Pairs the uids of `copy`'s subtree with this one's, node by node.
    void pairUids(const TTreeNode* copy, QHash<uint, uint>& uids) const;
    void childrenEdited();

    QList<TTreeNode*> m_children;
    QList<uint> m_lastChildUids;
    TTreeNode* m_parentNode = nullptr;
};

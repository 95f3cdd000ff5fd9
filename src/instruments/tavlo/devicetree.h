#pragma once

#include <QList>
#include <QString>

#include "tavlo/device.h"

// The laboratory's devices as a tree: COM ports (and the roots "API", "LAN" and DDE roots),
// adapters and controllers below them, instruments below adapters. Nodes are kept in tree
// order (parents before their children).
class TDeviceTree {
public:
    struct TNode {
        QString Text;
        int Level = 0;
        int Parent = -1; // index of the parent node, -1 for a root
    };

    int Count() const { return static_cast<int>(FNodes.size()); }
    const TNode& Node(int index) const { return FNodes.at(index); }
    const QList<TNode>& Nodes() const { return FNodes; }
    QList<int> Children(int index) const; // index -1: the roots
    void Clear() { FNodes.clear(); }

    int AddRoot(const QString& text);
    // Adds a child as the last one of parent, after the parent's subtree; the indices of the
    // nodes behind it move up by one.
    int AddChild(int parent, const QString& text);
    // Removes a node with its subtree.
    void Remove(int index);
    void SetText(int index, const QString& text) { FNodes[index].Text = text; }
    // The root above a node (the node itself for a root).
    int Root(int index) const;

    // The device setup text: per node as many tabs as its level, then its text, CR LF.
    QString ToSetupText() const;
    // Reads a setup text; false with the reason when a line skips a level.
    static bool FromSetupText(const QString& text, TDeviceTree& tree, QString* error = nullptr);
    // Device setup files (Windows-1252 text); loading fails without changing the tree.
    bool LoadFromFile(const QString& path, QString* error = nullptr);
    bool SaveToFile(const QString& path, QString* error = nullptr) const;

    // The ELF hash of all node texts in tree order, in decimal.
    QString DeviceSetupID() const;

    // The device record of a node of the tree.
    TDevice DeviceFromTreeNode(int index) const;

private:
    QList<TNode> FNodes;
};

// The ELF hash over the 16-bit code units of a text.
quint32 ElfHash(const QString& text);

#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <stdexcept>

// An owning list of components that counts and indexes only those whose class name equals
// ListType. Components are owned as Qt children, in ownership order.
class TComponentObjectList : public QObject {
    Q_OBJECT
public:
    explicit TComponentObjectList(QObject* owner = nullptr, const QString& listType = QString());
    ~TComponentObjectList() override;

    QString ListType;

    int Count() const;
    QObject* GetItem(int aIndex) const;
    // The items sorted by Caption followed by their position, case-insensitively.
    QObject* GetItemInOrder(int aIndex) const;
    QList<QObject*> ItemsInOrder() const;
    QList<QObject*> Items() const;
    // Takes ownership of component.
    void Add(QObject* component);
    // Destroys all owned components.
    void Clear();

    template <class T> T* Item(int aIndex) const { return qobject_cast<T*>(GetItem(aIndex)); }
    template <class T> T* ItemInOrder(int aIndex) const {
        return qobject_cast<T*>(GetItemInOrder(aIndex));
    }

private:
    void CheckType() const;
};

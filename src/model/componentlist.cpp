#include "tavlo/componentlist.h"

#include <QVariant>

#include <algorithm>

TComponentObjectList::TComponentObjectList(QObject* owner, const QString& listType)
    : QObject(owner), ListType(listType) {}

TComponentObjectList::~TComponentObjectList() = default;

void TComponentObjectList::CheckType() const {
    if (ListType.isEmpty())
        throw std::logic_error("Trying to use ComponentObjectList without type definition");
}

QList<QObject*> TComponentObjectList::Items() const {
    CheckType();
    QList<QObject*> items;
    const QByteArray type = ListType.toLatin1();
    for (QObject* child : children())
        if (type == child->metaObject()->className())
            items.append(child);
    return items;
}

int TComponentObjectList::Count() const { return static_cast<int>(Items().size()); }

QObject* TComponentObjectList::GetItem(int aIndex) const {
    const QList<QObject*> items = Items();
    return aIndex >= 0 && aIndex < items.size() ? items.at(aIndex) : nullptr;
}

QList<QObject*> TComponentObjectList::ItemsInOrder() const {
    const QList<QObject*> items = Items();
    struct TKeyed {
        QString Key;
        QObject* Item;
    };
    std::vector<TKeyed> keyed;
    keyed.reserve(static_cast<size_t>(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i)
        keyed.push_back({items.at(i)->property("Caption").toString() + QString::number(i),
                         items.at(i)});
    std::stable_sort(keyed.begin(), keyed.end(), [](const TKeyed& a, const TKeyed& b) {
        return QString::compare(a.Key, b.Key, Qt::CaseInsensitive) < 0;
    });
    QList<QObject*> ordered;
    ordered.reserve(items.size());
    for (const TKeyed& k : keyed)
        ordered.append(k.Item);
    return ordered;
}

QObject* TComponentObjectList::GetItemInOrder(int aIndex) const {
    const QList<QObject*> ordered = ItemsInOrder();
    return aIndex >= 0 && aIndex < ordered.size() ? ordered.at(aIndex) : nullptr;
}

void TComponentObjectList::Add(QObject* component) { component->setParent(this); }

void TComponentObjectList::Clear() {
    const QObjectList owned = children();
    for (QObject* child : owned)
        delete child;
}

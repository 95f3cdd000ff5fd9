#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

// The component text form: "object Name: TClass", one "Prop = value" line per stored
// published property, "end". Published properties are the Q_PROPERTYs declared by the class
// (and its bases below QObject), in declaration order; the component name is objectName().

// Raised when component text cannot be read.
class EReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TComponentFactory = std::function<QObject*(QObject* owner)>;

// Registers a class so that TextToComponent can create it by name.
void RegisterComponentClass(const QMetaObject& meta, TComponentFactory factory);
template <class T> void RegisterComponentClass() {
    RegisterComponentClass(T::staticMetaObject, [](QObject* owner) { return new T(owner); });
}
bool IsComponentClassRegistered(const QString& className);

// The text of one component (lines separated by CR LF, the last one too). Plain ASCII.
QByteArray ComponentToBytes(const QObject* component);
QString ComponentToText(const QObject* component);

// A new component (without owner) read from text; throws EReadError.
std::unique_ptr<QObject> TextToComponent(QStringView text);
// Reads text into an existing component of the text's class; throws EReadError.
void ReadComponentInto(QStringView text, QObject* component);

// Writes the component text to a file, replacing the old file only when all was written.
bool SaveComponentToFile(const QObject* component, const QString& path, QString* error = nullptr);
// Reads a file saved by SaveComponentToFile; throws EReadError.
std::unique_ptr<QObject> LoadComponentFromFile(const QString& path);
// Decodes a text file as the program reads it: UTF-8 with a byte-order mark, else Windows-1252.
QString DecodeTextFile(const QByteArray& bytes);

// Copies every published property of source to the property of the same name of dest,
// except Name and DataString.
void CopyProperties(const QObject* source, QObject* dest);

// n letters drawn at random from A..Z.
QString RandomName(int n);

// The published properties of a class in declaration order (QObject's own excluded).
QList<QMetaProperty> PublishedProperties(const QMetaObject& meta);
// A published property by name, compared case-insensitively; invalid when absent.
QMetaProperty FindPublishedProperty(const QMetaObject& meta, QStringView name);

// Value texts of the format.
QByteArray FormatComponentDouble(double value);
QByteArray FormatComponentSingle(float value);
void AppendComponentString(QByteArray& out, QStringView text, int propertyIndent);

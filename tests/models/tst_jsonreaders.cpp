#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/JsonReaders.h"

#include <QJsonDocument>
#include <QTest>

#include <optional>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView fieldKey("field");

// A one-field object; a null QJsonValue::Undefined stands for "key missing".
QJsonObject withField(const QJsonValue &value)
{
    QJsonObject object;
    if (!value.isUndefined())
        object.insert(fieldKey, value);
    return object;
}

// What a reader made of the field, as text, so one table can check every reader.
template<typename T>
QString describe(const std::optional<T> &value)
{
    if (!value)
        return QStringLiteral("none");
    if constexpr (std::is_same_v<T, QString>)
        return u"string:"_s + *value;
    else if constexpr (std::is_same_v<T, bool>)
        return *value ? QStringLiteral("true") : QStringLiteral("false");
    else if constexpr (std::is_same_v<T, QJsonObject>)
        return u"object:"_s
               + QString::fromUtf8(QJsonDocument(*value).toJson(QJsonDocument::Compact));
    else if constexpr (std::is_same_v<T, QJsonArray>)
        return u"array:"_s
               + QString::fromUtf8(QJsonDocument(*value).toJson(QJsonDocument::Compact));
    else
        return QString::number(*value);
}

template<typename Reader>
QString readRequired(Reader reader, const QJsonObject &object)
{
    try {
        return describe(std::optional(reader(object, fieldKey)));
    } catch (const JsonDecodingError &error) {
        return u"error:"_s + QString::fromUtf8(error.what());
    }
}

QString read(const QString &reader, const QJsonObject &object)
{
    if (reader == u"optionalString")
        return describe(optionalString(object, fieldKey));
    if (reader == u"optionalInt")
        return describe(optionalInt(object, fieldKey));
    if (reader == u"optionalDouble")
        return describe(optionalDouble(object, fieldKey));
    if (reader == u"optionalBool")
        return describe(optionalBool(object, fieldKey));
    if (reader == u"optionalObject")
        return describe(optionalObject(object, fieldKey));
    if (reader == u"optionalArray")
        return describe(optionalArray(object, fieldKey));
    if (reader == u"optionalFlag")
        return describe(optionalFlag(object, fieldKey));
    if (reader == u"requireString")
        return readRequired(requireString, object);
    if (reader == u"requireInt")
        return readRequired(requireInt, object);
    if (reader == u"requireDouble")
        return readRequired(requireDouble, object);
    if (reader == u"requireBool")
        return readRequired(requireBool, object);
    if (reader == u"requireObject")
        return readRequired(requireObject, object);
    if (reader == u"requireArray")
        return readRequired(requireArray, object);
    qFatal("unknown reader");
}

const QString missing = QStringLiteral("error:Missing required field: field");

QString wrongType(const char *word)
{
    return u"error:Field 'field' has wrong type, expected "_s + QLatin1StringView(word);
}

struct Element
{
    int value = 0;
    static Element fromJson(const QJsonObject &object) { return { requireInt(object, fieldKey) }; }
};

} // namespace

class TestJsonReaders : public QObject
{
    Q_OBJECT

private slots:
    void readsFieldAsTheFamilyDecides_data();
    void readsFieldAsTheFamilyDecides();
    void decodesOnlyObjectElementsOfAList();
    void failsTheListWhenAnElementFails();
};

void TestJsonReaders::readsFieldAsTheFamilyDecides_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected");

    const QJsonValue absent(QJsonValue::Undefined);
    const QJsonValue null(QJsonValue::Null);
    const QJsonObject object{ { u"a"_s, 1 } };
    const QJsonArray array{ 1, 2 };

    struct Row
    {
        const char *name;
        const char *reader;
        QJsonValue value;
        QString expected;
    };
    const Row rows[] = {
        { "optionalString: string", "optionalString", u"text"_s, u"string:text"_s },
        { "optionalString: missing", "optionalString", absent, u"none"_s },
        { "optionalString: null", "optionalString", null, u"none"_s },
        { "optionalString: number is not its text", "optionalString", 5, u"none"_s },
        { "optionalInt: whole number", "optionalInt", 42, u"42"_s },
        { "optionalInt: 2.5 reads as 0", "optionalInt", 2.5, u"0"_s },
        { "optionalInt: 3e10 reads as 0", "optionalInt", 3e10, u"0"_s },
        { "optionalInt: the text 5", "optionalInt", u"5"_s, u"none"_s },
        { "optionalInt: null", "optionalInt", null, u"none"_s },
        { "optionalDouble: fraction", "optionalDouble", 2.5, u"2.5"_s },
        { "optionalDouble: bool", "optionalDouble", true, u"none"_s },
        { "optionalBool: true", "optionalBool", true, u"true"_s },
        { "optionalBool: the number 1", "optionalBool", 1, u"none"_s },
        { "optionalObject: object", "optionalObject", object, u"object:{\"a\":1}"_s },
        { "optionalObject: array", "optionalObject", array, u"none"_s },
        { "optionalArray: array", "optionalArray", array, u"array:[1,2]"_s },
        { "optionalArray: missing", "optionalArray", absent, u"none"_s },
        { "optionalFlag: bool true", "optionalFlag", true, u"true"_s },
        { "optionalFlag: bool false", "optionalFlag", false, u"false"_s },
        { "optionalFlag: number 1", "optionalFlag", 1, u"true"_s },
        { "optionalFlag: number -3", "optionalFlag", -3, u"true"_s },
        { "optionalFlag: number 0", "optionalFlag", 0, u"false"_s },
        { "optionalFlag: text 1", "optionalFlag", u"1"_s, u"true"_s },
        { "optionalFlag: text TRUE with blanks", "optionalFlag", u"  TRUE \t"_s, u"true"_s },
        { "optionalFlag: text True", "optionalFlag", u"True"_s, u"true"_s },
        { "optionalFlag: text 0", "optionalFlag", u"0"_s, u"false"_s },
        { "optionalFlag: text yes", "optionalFlag", u"yes"_s, u"false"_s },
        { "optionalFlag: empty text", "optionalFlag", u""_s, u"false"_s },
        { "optionalFlag: empty array", "optionalFlag", QJsonArray(), u"false"_s },
        { "optionalFlag: empty object", "optionalFlag", QJsonObject(), u"false"_s },
        { "optionalFlag: missing", "optionalFlag", absent, u"none"_s },
        { "optionalFlag: null", "optionalFlag", null, u"none"_s },
        { "requireString: string", "requireString", u"x"_s, u"string:x"_s },
        { "requireString: missing", "requireString", absent, missing },
        { "requireString: null is a wrong type", "requireString", null, wrongType("string") },
        { "requireString: number", "requireString", 5, wrongType("string") },
        { "requireInt: whole number", "requireInt", -7, u"-7"_s },
        { "requireInt: 2.5 reads as 0", "requireInt", 2.5, u"0"_s },
        { "requireInt: 3e10 reads as 0", "requireInt", 3e10, u"0"_s },
        { "requireInt: the text 5", "requireInt", u"5"_s, wrongType("int") },
        { "requireInt: missing", "requireInt", absent, missing },
        { "requireDouble: fraction", "requireDouble", 0.25, u"0.25"_s },
        { "requireDouble: null", "requireDouble", null, wrongType("double") },
        { "requireBool: false", "requireBool", false, u"false"_s },
        { "requireBool: the number 0", "requireBool", 0, wrongType("bool") },
        { "requireObject: object", "requireObject", object, u"object:{\"a\":1}"_s },
        { "requireObject: array", "requireObject", array, wrongType("object") },
        { "requireArray: array", "requireArray", array, u"array:[1,2]"_s },
        { "requireArray: object", "requireArray", object, wrongType("array") },
        { "requireArray: missing", "requireArray", absent, missing },
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << QString::fromLatin1(row.reader) << row.value << row.expected;
}

void TestJsonReaders::readsFieldAsTheFamilyDecides()
{
    QFETCH(QString, reader);
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);

    QCOMPARE(read(reader, withField(value)), expected);
}

void TestJsonReaders::decodesOnlyObjectElementsOfAList()
{
    const QJsonArray array{ 3, QJsonObject{ { u"field"_s, 1 } }, u"text"_s,
                            QJsonObject{ { u"field"_s, 2 } } };

    const QList<Element> elements = decodeObjectList<Element>(array);

    QCOMPARE(elements.size(), 2);
    QCOMPARE(elements.at(0).value, 1);
    QCOMPARE(elements.at(1).value, 2);
}

void TestJsonReaders::failsTheListWhenAnElementFails()
{
    const QJsonArray array{ QJsonObject{ { u"field"_s, 1 } }, QJsonObject{ { u"other"_s, 2 } } };

    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, decodeObjectList<Element>(array));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestJsonReaders)
#include "tst_jsonreaders.moc"

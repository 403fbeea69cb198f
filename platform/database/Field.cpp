#include "Field.h"

#include "DataSet.h"
#include "Exceptions.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <limits>

namespace {

QString formatFloat(double value, QChar decimalPoint)
{
    QString s = QString::number(value, 'g', 15);
    if (decimalPoint != u'.')
        s.replace(QLatin1Char('.'), decimalPoint);
    return s;
}

bool isIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}

// Texts that a logical column may hold.
int booleanOf(QStringView s)
{
    static const char* const truths[] = {"1", "true", "t", "vrai", "yes", "y", "oui"};
    static const char* const falsehoods[] = {"0", "false", "f", "faux", "no", "n", "non"};
    const QString lower = s.trimmed().toString().toLower();
    for (const char* t : truths)
        if (lower == QLatin1String(t))
            return 1;
    for (const char* f : falsehoods)
        if (lower == QLatin1String(f))
            return 0;
    return -1;
}

// Parses a decimal text exactly into units of 1/10,000.
bool parseCurrency(QStringView s, qint64& out)
{
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    bool negative = false;
    qsizetype i = 0;
    if (s[0] == u'-' || s[0] == u'+') {
        negative = s[0] == u'-';
        ++i;
    }
    qint64 whole = 0;
    qint64 fraction = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isDigit()) {
            digits = true;
            const int d = c.digitValue();
            if (point) {
                if (fractionDigits < 4) {
                    fraction = fraction * 10 + d;
                    ++fractionDigits;
                }
            } else {
                if (whole > (std::numeric_limits<qint64>::max() / 10000 - d) / 10)
                    return false;
                whole = whole * 10 + d;
            }
        } else if ((c == u'.' || c == u',') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    while (fractionDigits++ < 4)
        fraction *= 10;
    out = whole * 10000 + fraction;
    if (negative)
        out = -out;
    return true;
}

} // namespace

TField::TField(TDataSet* dataSet, int index, const ColumnInfo& column)
    : m_dataSet(dataSet), m_index(index), m_name(column.name), m_type(column.type),
      m_size(column.size), m_precision(column.precision)
{
}

int TField::displayWidth() const
{
    if (m_displayWidth >= 1)
        return m_displayWidth;
    switch (m_type) {
    case ftString: return m_size;
    case ftBoolean: return 4;
    case ftBCD: return m_precision > 0 ? m_precision + 1 : 10;
    default: return 10;
    }
}

CellRef TField::cell() const
{
    return m_dataSet->currentCell(m_index);
}

CellRef TField::cellAt(qsizetype row) const
{
    return m_dataSet->cellAt(row, m_index);
}

bool TField::isNull() const
{
    return cell().cls == CellClass::Null;
}

QString TField::asString() const
{
    return textOf(cell());
}

QString TField::textOf(const CellRef& c) const
{
    const TextForms& forms = m_dataSet->textForms();
    switch (c.cls) {
    case CellClass::Null:
        return {};
    case CellClass::Integer:
        if (m_type == ftBoolean)
            return c.integer ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        return QString::number(c.integer);
    case CellClass::Float:
        if (m_type == ftBoolean)
            return c.real != 0 ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        if (isIntegerType(m_type) && std::abs(c.real) < 9e15 && c.real == std::trunc(c.real))
            return QString::number(qint64(c.real));
        return formatFloat(c.real, forms.decimalPoint);
    case CellClass::Text: {
        const QString s = QString::fromUtf8(c.data, c.size);
        switch (m_type) {
        case ftDate: {
            const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
            return d.isValid() ? forms.locale.toString(d, forms.dateFormat) : s;
        }
        case ftTime: {
            QTime t = QTime::fromString(s, Qt::ISODateWithMs);
            if (!t.isValid())
                t = QTime::fromString(s, Qt::ISODate);
            return t.isValid() ? forms.locale.toString(t, forms.timeFormat) : s;
        }
        case ftDateTime: {
            QString iso = s;
            if (iso.size() > 10 && iso[10] == u' ')
                iso[10] = u'T';
            QDateTime dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
            if (!dt.isValid() && iso.size() == 10)
                dt = QDateTime(QDate::fromString(iso, Qt::ISODate), QTime(0, 0));
            return dt.isValid() ? forms.locale.toString(dt, forms.dateTimeFormat) : s;
        }
        case ftBoolean: {
            const int b = booleanOf(s);
            return b < 0 ? s : (b ? QStringLiteral("Vrai") : QStringLiteral("Faux"));
        }
        default:
            return s;
        }
    }
    case CellClass::Blob:
        return Windows1252::decode(QByteArrayView(c.data, c.size));
    }
    return {};
}

void TField::appendText1252(QByteArray& out, Windows1252::Unmappable policy) const
{
    const CellRef c = cell();
    switch (c.cls) {
    case CellClass::Null:
        return;
    case CellClass::Integer:
        if (m_type != ftBoolean) {
            out.append(QByteArray::number(c.integer));
            return;
        }
        break;
    case CellClass::Text:
        if (m_type != ftDate && m_type != ftTime && m_type != ftDateTime && m_type != ftBoolean) {
            Windows1252::appendFromUtf8(out, c.data, c.size, policy);
            return;
        }
        break;
    case CellClass::Blob:
        out.append(c.data, c.size);
        return;
    case CellClass::Float:
        break;
    }
    Windows1252::appendEncoded(out, textOf(c), policy);
}

qint64 TField::asCurrency() const
{
    const CellRef c = cell();
    switch (c.cls) {
    case CellClass::Null:
        return 0;
    case CellClass::Integer:
        if (std::abs(c.integer) > std::numeric_limits<qint64>::max() / 10000)
            break;
        return c.integer * 10000;
    case CellClass::Float:
        if (!std::isfinite(c.real) || std::abs(c.real) >= 9.2e14)
            break;
        return std::llround(c.real * 10000.0);
    case CellClass::Text: {
        qint64 v = 0;
        if (parseCurrency(QString::fromUtf8(c.data, c.size), v))
            return v;
        break;
    }
    case CellClass::Blob:
        break;
    }
    throw EDatabaseError(QStringLiteral("'%1' n'est pas une valeur monétaire valide").arg(asString()));
}

QByteArray TField::blobContents() const
{
    const CellRef c = cell();
    switch (c.cls) {
    case CellClass::Null:
        return {};
    case CellClass::Blob:
        return QByteArray(c.data, c.size);
    case CellClass::Text:
        if (isBlobType(m_type) && !isMemoType(m_type))
            return QByteArray(c.data, c.size);
        break;
    default:
        break;
    }
    QByteArray out;
    appendText1252(out, Windows1252::Unmappable::QuestionMark);
    return out;
}

void TField::setAsString(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    CellRef c;
    c.cls = CellClass::Text;
    c.data = utf8.constData();
    c.size = utf8.size();
    m_dataSet->setFieldValue(m_index, c);
}

void TField::clear()
{
    m_dataSet->setFieldValue(m_index, CellRef{});
}

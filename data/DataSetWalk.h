#pragma once

#include "data/DataSet.h"
#include "platform/Exceptions.h"

// A walk over every record of a data set, from the first to the end of data, that
// keeps its own place. The cursor is shared with the grid bound to the data set: when
// events are let through during the walk (a progress dialog) or a callback runs, the
// cursor may be moved. Each step first puts it back where the walk left it, so every
// record is visited once, in order, whatever happens meanwhile; the walk ends with the
// cursor at the end of data. A data set closed or reopened during the walk ends it
// with an error, since its fields are no longer those being written.
class DataSetWalk
{
public:
    explicit DataSetWalk(TDataSet& dataSet)
        : m_dataSet(dataSet)
        , m_watch(QObject::connect(&dataSet, &TDataSet::layoutChanged, &dataSet, [this] { m_changed = true; }))
    {
        m_dataSet.first();
        m_count = m_dataSet.recordCount();
    }
    ~DataSetWalk() { QObject::disconnect(m_watch); }
    DataSetWalk(const DataSetWalk&) = delete;
    DataSetWalk& operator=(const DataSetWalk&) = delete;

    // True once every record was visited.
    bool atEnd()
    {
        keepPlace();
        return m_row >= m_count;
    }
    void next()
    {
        keepPlace();
        m_dataSet.next();
        ++m_row;
    }
    // The error of a data set closed or reopened while it is walked.
    static QString replacedMessage()
    {
        return QStringLiteral("Les données ont été fermées ou remplacées pendant leur parcours");
    }

    // Records visited so far, and how many there are to visit.
    qsizetype done() const { return m_row; }
    qsizetype count() const { return m_count; }

    // Puts the cursor back where the walk stands (on its record, or at the end of data).
    void keepPlace()
    {
        if (m_changed)
            throw EDatabaseError(replacedMessage());
        if (m_row < m_count) {
            if (m_dataSet.recNo() != m_row || m_dataSet.eof())
                m_dataSet.moveTo(m_row);
        } else if (!m_dataSet.eof()) {
            // Past the last record: back to it, then past it again.
            m_dataSet.moveTo(m_count - 1);
            m_dataSet.next();
        }
    }

private:
    TDataSet& m_dataSet;
    QMetaObject::Connection m_watch;
    bool m_changed = false;
    qsizetype m_count = 0;
    qsizetype m_row = 0;
};

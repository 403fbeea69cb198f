#include "export/ExportedFields.h"

#include "platform/Exceptions.h"

TDataSet& ExportedFields::checked(const QPointer<TDataSet>& dataSet)
{
    if (!dataSet || !dataSet->active())
        throw EDatabaseError(QStringLiteral("Ne peut effectuer cette opération sur un ensemble de données fermé"));
    return *dataSet;
}

std::vector<int> ExportedFields::chosen(const TDataSet& data, const std::vector<int>& fields)
{
    if (fields.empty())
        return visible(data);
    std::vector<int> columns;
    for (const int field : fields)
        if (field >= 0 && field < data.fieldCount())
            columns.push_back(field);
    return columns;
}

std::vector<int> ExportedFields::visible(const TDataSet& data)
{
    std::vector<int> columns;
    for (int i = 0; i < data.fieldCount(); ++i)
        if (data.field(i)->visible())
            columns.push_back(i);
    return columns;
}

#pragma once

#include "data/DataSet.h"

#include <QPointer>
#include <vector>

// What the file exports for spreadsheets take of a data set.
namespace ExportedFields
{

// The data set, open; none or a closed one throws the engine's closed-data-set error
// (EDatabaseError): there is nothing to export either way.
TDataSet& checked(const QPointer<TDataSet>& dataSet);
// The indexes of the visible fields, in their order.
[[nodiscard]] std::vector<int> visible(const TDataSet& data);
// The fields chosen (a grid's columns in the order shown), those that the data set
// has; the visible fields when none were chosen.
[[nodiscard]] std::vector<int> chosen(const TDataSet& data, const std::vector<int>& fields);

} // namespace ExportedFields

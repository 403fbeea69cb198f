#pragma once

// Field data types, codes 0 to 22 in this order.
enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
};

// The blob kinds, codes 15 to 21.
constexpr bool isBlobType(TFieldType t)
{
    return t >= ftBlob && t <= ftTypedBinary;
}

// Memo kinds: their contents are text.
constexpr bool isMemoType(TFieldType t)
{
    return t == ftMemo || t == ftFmtMemo;
}

// Numbers: whole, floating and exact (amounts, decimals).
constexpr bool isNumericType(TFieldType t)
{
    return (t >= ftSmallint && t <= ftWord) || (t >= ftFloat && t <= ftBCD) || t == ftAutoInc;
}

// Dates, times of day and date-times.
constexpr bool isMomentType(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime;
}

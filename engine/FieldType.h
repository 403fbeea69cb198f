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

// Records and function table of the paper-data library, as every deliverable
// reads them. Layouts are fixed byte for byte (little-endian, no padding);
// every offset a caller relies on is checked below.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the records are read in place: little-endian hosts only");

namespace klm::paperdata {

inline constexpr std::uint32_t kModelLevel = 1;
inline constexpr std::uint32_t kPaperLevel1 = 1;  // 252-byte PaperRecord1
inline constexpr std::uint32_t kPaperLevel4 = 4;  // 279-byte PaperRegRecord
inline constexpr std::uint32_t kPaperLevel5 = 5;  // 272-byte PaperRecord

#pragma pack(push, 1)

// Level-1 model record, 118 bytes.
struct ModelRecord {
  std::uint8_t bySeriesCode;          // character, '5' for the LM-7100
  std::uint8_t byModelCode;           // character, '1'
  char16_t dmDeviceName[32];          // terminated
  std::uint32_t dwHeadPinNum;         // print-head dots
  std::uint32_t dwDeviceAbility01;
  std::uint32_t dwDeviceAbility02;
  std::uint16_t wMinCopies;
  std::uint16_t wMaxCopies;
  std::uint16_t wMinCutEveryNum;
  std::uint16_t wMaxCutEveryNum;
  std::uint16_t wResolutionNum;       // resolution pairs listed, 1..5
  std::uint16_t reserved88;
  std::int16_t nDefaultPaperSize;     // paper id
  std::int16_t nDefaultPaperLength;   // 0.1 mm
  std::int16_t nDefaultPaperLengthRes;  // dots
  std::uint16_t reserved96;
  std::uint16_t wXResolution;         // dpi, first pair of wResolutions
  std::uint16_t wYResolution;         // dpi
  std::uint16_t wMoreResolutions[8];  // further X,Y pairs; 0 when absent
};
static_assert(sizeof(ModelRecord) == 118);
static_assert(offsetof(ModelRecord, byModelCode) == 1);
static_assert(offsetof(ModelRecord, dmDeviceName) == 2);
static_assert(offsetof(ModelRecord, nDefaultPaperSize) == 90);
static_assert(offsetof(ModelRecord, nDefaultPaperLength) == 92);
static_assert(offsetof(ModelRecord, nDefaultPaperLengthRes) == 94);
static_assert(offsetof(ModelRecord, wXResolution) == 98);
static_assert(offsetof(ModelRecord, wYResolution) == 100);

// The first 240 bytes of a level-5 PaperRecord; also the head of the QMD
// source text's SourcePaper. Lengths in 0.1 mm, "Res" values in dots.
struct PaperRecordHead {
  char16_t szPaperName_mm[32];        // terminated
  char16_t szPaperName_inch[32];
  char16_t szPaperWidthString_inch[16];
  char16_t szPaperLengthString_inch[16];
  std::int16_t nType;
  std::int16_t nPaperSize;
  std::int16_t nPaperWidth;
  std::int16_t nImageAreaWidth;
  std::int16_t nPaperWidthRes;
  std::int16_t nImageAreaWidthRes;
  std::int16_t nPaperLength;          // 0 for continuous tape
  std::int16_t nImageAreaLength;
  std::int16_t nPaperLengthRes;
  std::int16_t nImageAreaLengthRes;
  std::int16_t nPhysicalOffsetX;
  std::int16_t nPhysicalOffsetY;
  std::uint16_t wPinOffsetLeft;
  std::uint16_t wPinOffsetRight;
  std::int16_t nMaxFeed;
  std::int16_t nMaxLength;
  std::int16_t nMinLength;
  std::uint16_t wSplit;               // low byte: extra parts across
  std::int16_t nClipInfoLeft;
  std::int16_t nClipInfoTop;
  std::int16_t nClipInfoRight;
  std::int16_t nClipInfoBottom;
  std::int16_t nVirtualOffsetX;       // dots
  std::int16_t nVirtualOffsetY;       // dots
};
static_assert(sizeof(PaperRecordHead) == 240);
static_assert(offsetof(PaperRecordHead, szPaperName_inch) == 64);
static_assert(offsetof(PaperRecordHead, szPaperWidthString_inch) == 128);
static_assert(offsetof(PaperRecordHead, szPaperLengthString_inch) == 160);
static_assert(offsetof(PaperRecordHead, nType) == 192);
static_assert(offsetof(PaperRecordHead, nPaperSize) == 194);
static_assert(offsetof(PaperRecordHead, nPaperWidth) == 196);
static_assert(offsetof(PaperRecordHead, nImageAreaWidth) == 198);
static_assert(offsetof(PaperRecordHead, nPaperWidthRes) == 200);
static_assert(offsetof(PaperRecordHead, nImageAreaWidthRes) == 202);
static_assert(offsetof(PaperRecordHead, nPaperLength) == 204);
static_assert(offsetof(PaperRecordHead, nImageAreaLength) == 206);
static_assert(offsetof(PaperRecordHead, nPaperLengthRes) == 208);
static_assert(offsetof(PaperRecordHead, nImageAreaLengthRes) == 210);
static_assert(offsetof(PaperRecordHead, nPhysicalOffsetX) == 212);
static_assert(offsetof(PaperRecordHead, nPhysicalOffsetY) == 214);
static_assert(offsetof(PaperRecordHead, wPinOffsetLeft) == 216);
static_assert(offsetof(PaperRecordHead, wPinOffsetRight) == 218);
static_assert(offsetof(PaperRecordHead, wSplit) == 226);
static_assert(offsetof(PaperRecordHead, nClipInfoLeft) == 228);
static_assert(offsetof(PaperRecordHead, nClipInfoTop) == 230);
static_assert(offsetof(PaperRecordHead, nClipInfoRight) == 232);
static_assert(offsetof(PaperRecordHead, nClipInfoBottom) == 234);
static_assert(offsetof(PaperRecordHead, nVirtualOffsetX) == 236);
static_assert(offsetof(PaperRecordHead, nVirtualOffsetY) == 238);

// Level-5 paper record, 272 bytes (the driver user interface).
struct PaperRecord {
  PaperRecordHead head;
  std::int16_t nCompatiblePaperSizes;  // base paper id of a split format
  std::int16_t reserved242[3];
  std::uint32_t dwPaperAbility01;      // 0x2: lies across; 0x8: clipped
  std::uint32_t dwPaperAbility02;
  std::uint8_t reserved256[16];
};
static_assert(sizeof(PaperRecord) == 272);
static_assert(offsetof(PaperRecord, nCompatiblePaperSizes) == 240);
static_assert(offsetof(PaperRecord, dwPaperAbility01) == 248);

// The head of a level-1 record: level 5 up to byte 235 (no virtual offsets).
struct PaperRecord1Head {
  char16_t szPaperName_mm[32];
  char16_t szPaperName_inch[32];
  char16_t szPaperWidthString_inch[16];
  char16_t szPaperLengthString_inch[16];
  std::int16_t nType;
  std::int16_t nPaperSize;
  std::int16_t nPaperWidth;
  std::int16_t nImageAreaWidth;
  std::int16_t nPaperWidthRes;
  std::int16_t nImageAreaWidthRes;
  std::int16_t nPaperLength;
  std::int16_t nImageAreaLength;
  std::int16_t nPaperLengthRes;
  std::int16_t nImageAreaLengthRes;
  std::int16_t nPhysicalOffsetX;
  std::int16_t nPhysicalOffsetY;
  std::uint16_t wPinOffsetLeft;
  std::uint16_t wPinOffsetRight;
  std::int16_t nMaxFeed;
  std::int16_t nMaxLength;
  std::int16_t nMinLength;
  std::uint16_t wSplit;
  std::int16_t nClipInfoLeft;
  std::int16_t nClipInfoTop;
  std::int16_t nClipInfoRight;
  std::int16_t nClipInfoBottom;
};
static_assert(sizeof(PaperRecord1Head) == 236);

// Level-1 paper record, 252 bytes (driver-information library, converter).
struct PaperRecord1 {
  PaperRecord1Head head;
  std::int16_t nCompatiblePaperSizes;
  std::int16_t reserved238[3];
  std::uint32_t dwPaperAbility01;
  std::uint32_t dwPaperAbility02;
};
static_assert(sizeof(PaperRecord1) == 252);
static_assert(offsetof(PaperRecord1, head) + offsetof(PaperRecord1Head, wPinOffsetLeft) == 216);
static_assert(offsetof(PaperRecord1, nCompatiblePaperSizes) == 236);
static_assert(offsetof(PaperRecord1, dwPaperAbility01) == 244);

// One 10-byte preset block of a PaperRegRecord; the registration entry
// drops `unused`.
struct PresetBlock {
  std::uint8_t kind;
  std::uint8_t unused;
  std::uint16_t value[4];
};
static_assert(sizeof(PresetBlock) == 10);

// Level-4 paper record, 279 bytes: the printer-side data of one format, read
// by the converter. Where each field comes from in the source text is told in
// paper-data/README.md.
struct PaperRegRecord {
  std::int16_t nType;
  std::int16_t nPaperSize;
  char szSizeMM[16];                  // ANSI, terminated
  char szSizeIN[16];
  char szPaperName[64];               // ANSI text of szPaperName_mm
  char byReserved001[32];
  std::int16_t nPaperWidth;           // 0x84, 0.1 mm
  std::int16_t nImageAreaWidth;
  std::uint16_t lblPitchDot;          // 0x88
  std::int16_t nPaperLength;          // 0x8A, 0.1 mm
  std::uint16_t markNoChkValu;        // 0x8C
  std::int16_t nImageAreaLength;
  std::int16_t nPhysicalOffsetX;
  std::int16_t nPhysicalOffsetY;
  std::int16_t nMaxFeed;
  std::int16_t nMaxLength;
  std::int16_t nMinLength;
  std::uint8_t byHeadDivide;          // 0x9A
  std::uint8_t byTypeLow;             // low byte of nType
  std::uint8_t byEnergyRank;          // 0x9C
  std::uint8_t byRollWidMm;           // 0x9D
  std::uint8_t nSensorID;             // 0x9E
  std::uint16_t nDieStartPlus;        // 0x9F
  std::uint16_t nDieStartRevPlus;     // 0xA1
  std::uint16_t wDieStartFwdPlus;     // 0xA3
  std::uint16_t nAfterFeedPlus;       // 0xA5
  std::uint16_t wPafMediaID;          // 0xA7
  PresetBlock PresetBlkPos[6];        // 0xA9: 1_1, 2_1, 2_2, 3_1, 3_2, 3_3
  std::uint8_t MediaAtrInfo[16];      // 0xE5
  std::uint8_t reserved_12_[16];      // 0xF5: twelve values, four zeros
  std::uint16_t nPaperWidthRes;       // 0x105
  std::uint16_t nPaperLengthRes;      // 0x107
  std::uint16_t wPinOffsetRight;      // 0x109
  std::uint32_t dwPaperAbility01;     // 0x10B
  std::uint32_t dwPaperAbility02;     // 0x10F
  std::uint32_t dwVirtualOffsets;     // 0x113: X in the low, Y in the high half
};
static_assert(sizeof(PaperRegRecord) == 279);
static_assert(offsetof(PaperRegRecord, nPaperWidth) == 0x84);
static_assert(offsetof(PaperRegRecord, lblPitchDot) == 0x88);
static_assert(offsetof(PaperRegRecord, nPaperLength) == 0x8A);
static_assert(offsetof(PaperRegRecord, markNoChkValu) == 0x8C);
static_assert(offsetof(PaperRegRecord, byHeadDivide) == 0x9A);
static_assert(offsetof(PaperRegRecord, byEnergyRank) == 0x9C);
static_assert(offsetof(PaperRegRecord, byRollWidMm) == 0x9D);
static_assert(offsetof(PaperRegRecord, nSensorID) == 0x9E);
static_assert(offsetof(PaperRegRecord, nDieStartPlus) == 0x9F);
static_assert(offsetof(PaperRegRecord, wPafMediaID) == 0xA7);
static_assert(offsetof(PaperRegRecord, PresetBlkPos) == 0xA9);
static_assert(offsetof(PaperRegRecord, MediaAtrInfo) == 0xE5);
static_assert(offsetof(PaperRegRecord, reserved_12_) == 0xF5);
static_assert(offsetof(PaperRegRecord, nPaperWidthRes) == 0x105);
static_assert(offsetof(PaperRegRecord, wPinOffsetRight) == 0x109);
static_assert(offsetof(PaperRegRecord, dwPaperAbility01) == 0x10B);
static_assert(offsetof(PaperRegRecord, dwPaperAbility02) == 0x10F);
static_assert(offsetof(PaperRegRecord, dwVirtualOffsets) == 0x113);

#pragma pack(pop)

inline constexpr std::uint32_t RecordSize(std::uint32_t level) {
  return level == kPaperLevel1   ? sizeof(PaperRecord1)
         : level == kPaperLevel4 ? sizeof(PaperRegRecord)
         : level == kPaperLevel5 ? sizeof(PaperRecord)
                                 : 0;
}

// Opaque handle from QMD_Open.
using QmdHandle = void*;

// The library's operations; each returns nonzero on success and otherwise
// leaves the reason in klm::GetLastError(). `needed` and `count` are written
// whenever the pointers are not null, also when the call fails.
template <typename PathChar>
struct BasicPaperDataTable {
  std::uint32_t size;  // set by the caller to sizeof(the table) before Initialize
  std::int32_t (*QMD_Open)(QmdHandle* handle, const PathChar* path);
  std::int32_t (*QMD_Close)(QmdHandle handle);
  std::int32_t (*QMD_GetModel)(QmdHandle handle, std::uint32_t level, void* buffer,
                               std::uint32_t size, std::uint32_t* needed);
  std::int32_t (*QMD_EnumPapers)(QmdHandle handle, std::uint32_t level, void* buffer,
                                 std::uint32_t size, std::uint32_t* needed,
                                 std::uint32_t* count);
};

// Wide paths (UTF-16), filled by QMD_InitializeW.
using PaperDataTable = BasicPaperDataTable<char16_t>;
// ANSI paths (the ANSI code page), filled by QMD_InitializeA. On this 64-bit
// build both tables are native: a size word, padding and four pointers.
using PaperDataTableA = BasicPaperDataTable<char>;
static_assert(sizeof(PaperDataTable) == 40);
static_assert(sizeof(PaperDataTableA) == 40);
static_assert(offsetof(PaperDataTable, QMD_Open) == 8);

using QmdInitializeWFn = std::int32_t (*)(PaperDataTable* table);
using QmdInitializeAFn = std::int32_t (*)(PaperDataTableA* table);

inline constexpr const char* kInitializeWName = "QMD_InitializeW";
inline constexpr const char* kInitializeAName = "QMD_InitializeA";
inline constexpr const char* kLibraryName64 = "KLM71i6.dll";
inline constexpr const char* kLibraryName32 = "KLM71i3.dll";

}  // namespace klm::paperdata

// Small source texts and papers shared by the paper-data tests.
#pragma once

#include <string>

#include "paper-data/source_text.h"

namespace klm::paperdata::testing {

inline SourceHeader SampleHeader() {
  SourceHeader h;
  h.FormatVersion = "1.00";
  h.ModelVersion = "1.00";
  h.OutputFileName = "KLM71ed.qmd";
  h.bySeriesCode = "5";
  h.byModelCode = "1";
  h.dmDeviceName = "Koravel LM-7100";
  h.dwHeadPinNum = "1296";
  h.dwDeviceAbility01 = "0x00000003";
  h.dwDeviceAbility02 = "0x00000000";
  h.wMinCopies = "1";
  h.wMaxCopies = "999";
  h.wMinCutEveryNum = "1";
  h.wMaxCutEveryNum = "99";
  h.nDefaultPaperSize = "366";
  h.nDefaultPaperLength = "1528";
  h.nDefaultPaperLengthRes = "1805";
  h.wResolutionNum = "1";
  h.wResolutions = "300,300";
  return h;
}

// A 62 x 29 mm label as the paper edit dialog derives it.
inline SourcePaper SamplePaper(const std::u16string& name = u"62mm x 29mm", std::int16_t id = 513) {
  SourcePaper p;
  CopyToField(name, p.head.szPaperName_mm);
  CopyToField(name, p.head.szPaperName_inch);
  CopyToField(u"2.44\"", p.head.szPaperWidthString_inch);
  CopyToField(u"1.14\"", p.head.szPaperLengthString_inch);
  p.head.nType = 75;
  p.head.nPaperSize = id;
  p.head.nPaperWidth = 620;
  p.head.nImageAreaWidth = 590;
  p.head.nPaperWidthRes = 732;
  p.head.nImageAreaWidthRes = 697;
  p.head.nPaperLength = 290;
  p.head.nImageAreaLength = 260;
  p.head.nPaperLengthRes = 343;
  p.head.nImageAreaLengthRes = 307;
  p.head.nPhysicalOffsetX = 18;
  p.head.nPhysicalOffsetY = 18;
  p.head.wPinOffsetLeft = 550;
  p.head.wPinOffsetRight = 49;
  p.head.nClipInfoLeft = 1;
  p.head.nClipInfoTop = 2;
  p.head.nClipInfoRight = 3;
  p.head.nClipInfoBottom = 4;
  p.head.nVirtualOffsetX = -12;
  p.head.nVirtualOffsetY = 7;
  p.byReserved001 = "0";
  p.nCompatiblePaperSizes = "";
  p.dwPaperAbility01 = 0;
  p.dwPaperAbility02 = 0;
  p.byEnergyRank = 2;
  p.lblPitchDot = 378;
  p.markNoChkValu = 193;
  p.nSensorID = "1";
  p.byRollWidMm = "65";
  p.byHeadDivide = "0x06";
  p.nDieStartPlus = "0";
  p.nDieStartRevPlus = "0";
  p.wDieStartFwdPlus = "0";
  p.nAfterFeedPlus = "0";
  p.wPafMediaID = std::to_string(id);
  p.PresetBlkPos1_1 = "1,0,0,0,0";
  p.PresetBlkPos2_1 = "2,0,0,0,0";
  p.PresetBlkPos2_2 = "2,1,0,0,0";
  p.PresetBlkPos3_1 = "3,0,0,0,0";
  p.PresetBlkPos3_2 = "3,1,0,0,0";
  p.PresetBlkPos3_3 = "3,2,0,0,0";
  p.szSizeMM = "62mm x 29mm";
  p.szSizeIN = "2.4\" x 1.1\"";
  p.MediaAtrInfo = "0";
  p.reserved_12_ = "18,0,0,0,0,0,0,0,0,0,0,0";
  return p;
}

}  // namespace klm::paperdata::testing

// A force spectrum (FS) file: a title line, a line of five header integers, and one record per
// further line naming a spectrum (which lives in a file of its own, name + ".spc").
#pragma once

#include <string>
#include <vector>

#include "disk/text_lines.h"

namespace miradel {

struct QV_ForceSpectrumData {
  char szId[7];  // up to six characters; one more for the terminator
  char szSpectrum[10];
  double dValue1;
  double dValue2;
  double dValue3;
  double dValue4;
};

class CForceSpectrumFile {
 public:
  virtual ~CForceSpectrumFile() = default;

  // 1 when the file at m_strPath could be opened and read to its end, else 0 (then no records).
  int Read();
  // The same for lines at hand: the title skipped, the headers, a record for every further line.
  int ReadLines(TextLines& lines);

  std::string m_strTitle;  // not read
  std::string m_strPath;
  int m_nHeader4 = 0;
  int m_nHeader5 = 0;
  int m_nHeader2 = 1;
  int m_nHeader3 = 1;
  int m_nHeader1 = 0;
  std::vector<QV_ForceSpectrumData> m_records;
};

// The FS file suffix of index i (from 1): ".fs1" to ".fs9", then ".f10" and on.
std::string ForceSpectrumSuffix(int index);

}  // namespace miradel

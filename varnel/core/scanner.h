// Scanner control from the workstation: the threshold and speed the scanner
// reports through juxstat's status file.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "varnel/core/station.h"

namespace varnel {

// Name of juxstat's status file in the working folder.
QString StatusFileName(const Station& st);

// Runs juxstat "/S /O:<status file>" and reads the threshold (1-127) and the
// speed (ScannerSpeed) from the file. -1 when the threshold is unknown (no
// status file, or threshold 0); without hardware, 72 and speed 160, nothing run.
int16_t ReadThreshold(Station& st);

// The threshold (or -1) and the speed in a status file's bytes; bytes past the
// end of a short file count as 0.
struct StatusReading {
  int16_t threshold;
  int16_t speed;
};
StatusReading ReadStatusBytes(const QByteArray& status);

// True when the bit is set in the value. Bits count from 1; bitNumber is
// replaced by the mask.
bool ReadBit(int value, int& bitNumber);

}  // namespace varnel

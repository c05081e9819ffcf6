// Where an extraction's time goes, for the benchmark's timed copy of the stub
// (built with ZIMBRO_STAGE_TIMES). Every moment between the start and the end
// of an extraction belongs to exactly one stage: entering a stage pauses the
// one around it until the inner one is left. In every other build the calls
// compile to nothing.
#pragma once

enum Stage {
  kStageOther,       // engine set-up, progress reports, message pumping
  kStageDirectory,   // finding the end record and reading the central directory
  kStageMember,      // local headers, names, folders, existing files
  kStageCreate,      // creating each output file
  kStageDecode,      // Deflate decoding or the Stored copy, without CRC and writes
  kStageCrc,         // the CRC-32 of every window
  kStageWrite,       // writing the windows
  kStageClose,       // closing, setting the time and the attributes
  kStageReport,      // the "Extracting" line of each member in the information window
  kStageCount
};

#ifdef ZIMBRO_STAGE_TIMES
int stageEnter(int stage);        // returns the stage that was running
void stageLeave(int previous);    // back to it
void stageStart();                // an extraction starts
void stageReport();               // appends the totals to the file named by %ZIMBRO_STAGE_TIMES%
#else
inline int stageEnter(int) { return 0; }
inline void stageLeave(int) {}
inline void stageStart() {}
inline void stageReport() {}
#endif

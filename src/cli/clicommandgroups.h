#pragma once

#include "cli/cliargs.h"
#include "cli/cliparams.h"

// The commands, one file per group; each returns the exit status (errors went
// to stderr) and throws UsageError for arguments it finds wrong. runRequest
// picks one. Main thread only.
namespace lv::cli {

// clicapture.cpp: one device's pictures and movies.
int runDevices();
int runSnapshot(const Request& r, const Settings& s);
int runRecord(const Request& r, const Settings& s);

// cliseries.cpp: interval and motion series, at home or to an FTP server.
int runSeries(const Request& r, const Settings& s);

// climovie.cpp: movie files.
int runExtract(const Request& r, const Settings& s);
int runRecompress(const Request& r, const Settings& s);
int runWhatCodec(const Request& r);
int runRepair(const Request& r);

// clipicture.cpp: picture files.
int runEffect(const Request& r, const Settings& s);

} // namespace lv::cli

#pragma once

#include <cstdint>

#include "OutputBuffer.h"
#include "TrackWriters.h"

// A plain CSV table for spreadsheets, scripts and GIS (RFC 4180, CRLF line ends): a header naming
// each column with its unit, then a row of plain numbers per record, every record of the document
// in file order. The values are the CSV table's; the local time is an ISO 8601 timestamp with its
// offset, the UTC time one with "Z".
uint32_t WritePlainCsv(OutputBuffer& out, const TrackDocument& doc);

#pragma once
// A declared card's stream: generated (file empty) or a file, paced in real time.
#include <memory>
#include <string>

#include "platform/devices/CardStreamSource.h"

// bitrate 0: the file's PCR rate, or the generated default. Null with *error set.
std::unique_ptr<CardStreamSource> OpenPacedCardStream(const std::string& file, uint32_t bitrate, uint64_t seed,
                                                      std::string* error);

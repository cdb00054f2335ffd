#pragma once

#include <filesystem>
#include <string>

// A small card to try the program with: short WAV tones in the root and in one
// folder, and a text file for the PetitFS mode.
class SampleCard
{
public:
    static bool create(const std::filesystem::path& dir, std::string& error);
    // 8-bit mono PCM at 8000 samples a second.
    static std::string toneWav(double hz, long ms);
};

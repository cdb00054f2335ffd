#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A host folder standing for the board's SD card: files in its root and one
// folder level below, names matched without regard to case as on FAT.
class SdCard
{
public:
    struct Entry
    {
        std::string path; // "/NAME" or "/FOLDER/NAME"
        std::uint64_t size = 0;
    };

    explicit SdCard(std::filesystem::path root);

    bool present() const;
    // Root files first, then each folder's files; names in case-blind order.
    std::vector<Entry> list() const;
    // A card path ("/NAME", "/FOLDER/NAME", or folder and name apart) to the host
    // file; never leaves the card.
    std::optional<std::filesystem::path> find(const std::string& cardPath) const;

    // Play time of a WAV file from its header; empty when it has none.
    static std::optional<long> wavDurationMs(const std::filesystem::path& file);

private:
    std::optional<std::filesystem::path> child(const std::filesystem::path& dir,
                                               const std::string& name, bool wantDir) const;

    std::filesystem::path m_root;
};

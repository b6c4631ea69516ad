#pragma once
// Puts an upgrade image together from its numbered pieces. Each piece is a
// 4-byte little-endian sequence number and the piece's bytes; an upgrade is
// pieces 1 to 100 in order, all of one upgrade type. Anything else (a
// repeated or out-of-order number, a piece of another type, a piece too
// short to hold its number) is an anomaly: it is reported, never taken into
// the image, and ends the upgrade as failed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class UpgradeKind : int { Software = 0, Kernel = 1, Boot = 2, AiLibrary = 3 };
inline constexpr int kUpgradeKinds = 4;

// 0x0A02 software, 0x0801 kernel, 0x0802 boot loader, 0x0805 intelligent library.
bool KindOfCommand(uint32_t command, UpgradeKind& kind);
const char* UpgradeKindName(UpgradeKind kind);  // "software", "kernel", "boot", "ailib"

// The replies that carry the device's progress. The program's dispatcher
// reads progress from body word 0 of 0x01000A04 and 0x01000802 and takes
// 0x01000A03 and 0x01000801 as failure (progress 0); the software upgrade
// (0x0A02) answers with the 0x0A family, the three component upgrades with
// the 0x08 family.
uint32_t ProgressReplyOf(UpgradeKind kind);
uint32_t FailureReplyOf(UpgradeKind kind);

class UpgradeAssembler {
public:
    static constexpr uint32_t kPieces = 100;
    static constexpr size_t kDefaultMaxImage = 512u * 1024u * 1024u;

    enum class Outcome {
        Accepted,  // piece `sequence` (1..99) taken
        Complete,  // piece 100 taken: the image is whole
        Failed,    // an anomaly that ends the upgrade (answer with failure)
        Ignored,   // an anomaly after the upgrade already failed (no answer)
    };
    struct Result {
        Outcome outcome = Outcome::Ignored;
        uint32_t sequence = 0;
        std::string anomaly;  // empty for Accepted and Complete
    };

    explicit UpgradeAssembler(size_t maxImageBytes = kDefaultMaxImage)
        : m_maxImage(maxImageBytes) {}

    Result Accept(UpgradeKind kind, const uint8_t* block, size_t length);

    // Ends the upgrade as failed (the device answered failure): later pieces
    // are anomalies until a new upgrade starts with piece 1.
    void Abort();

    // The whole image after Complete (moved out; the assembler is then idle).
    std::vector<uint8_t> TakeImage();
    UpgradeKind Kind() const { return m_kind; }
    uint32_t PiecesTaken() const { return m_taken; }
    bool Receiving() const { return m_state == State::Receiving; }

private:
    enum class State { Idle, Receiving, Failed, Complete };

    Result Fail(uint32_t sequence, std::string anomaly);

    size_t m_maxImage;
    State m_state = State::Idle;
    UpgradeKind m_kind = UpgradeKind::Software;
    uint32_t m_taken = 0;
    std::vector<uint8_t> m_image;
};

}  // namespace sim

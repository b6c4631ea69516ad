#include "sim/UpgradeAssembler.h"

#include "common/platform/ByteOrder.h"
#include "common/session/ProtocolIds.h"

namespace sim {

bool KindOfCommand(uint32_t command, UpgradeKind& kind) {
    switch (command) {
        case proto::kReqUpgradeSoftware:
            kind = UpgradeKind::Software;
            return true;
        case proto::kReqUpgradeKernel:
            kind = UpgradeKind::Kernel;
            return true;
        case proto::kReqUpgradeBoot:
            kind = UpgradeKind::Boot;
            return true;
        case proto::kReqUpgradeAiLib:
            kind = UpgradeKind::AiLibrary;
            return true;
        default:
            return false;
    }
}

const char* UpgradeKindName(UpgradeKind kind) {
    switch (kind) {
        case UpgradeKind::Software:
            return "software";
        case UpgradeKind::Kernel:
            return "kernel";
        case UpgradeKind::Boot:
            return "boot";
        case UpgradeKind::AiLibrary:
            return "ailib";
    }
    return "software";
}

uint32_t ProgressReplyOf(UpgradeKind kind) {
    return kind == UpgradeKind::Software ? proto::kReplyProgressA04 : proto::kReplyProgress0802;
}

uint32_t FailureReplyOf(UpgradeKind kind) {
    return kind == UpgradeKind::Software ? proto::kReplyUpgradeA03 : proto::kReplyUpgrade0801;
}

UpgradeAssembler::Result UpgradeAssembler::Fail(uint32_t sequence, std::string anomaly) {
    const bool already = m_state == State::Failed;
    m_state = State::Failed;
    m_image.clear();
    m_image.shrink_to_fit();
    Result r;
    r.outcome = already ? Outcome::Ignored : Outcome::Failed;
    r.sequence = sequence;
    r.anomaly = std::move(anomaly);
    return r;
}

UpgradeAssembler::Result UpgradeAssembler::Accept(UpgradeKind kind, const uint8_t* block,
                                                  size_t length) {
    if (block == nullptr || length < 4) {
        return Fail(0, "piece of " + std::to_string(length) + " bytes holds no sequence number");
    }
    const uint32_t sequence = byteorder::ReadLe32(block);
    const uint8_t* data = block + 4;
    const size_t size = length - 4;

    if (m_state != State::Receiving) {
        if (sequence != 1) {
            if (m_state == State::Failed) {
                return Fail(sequence,
                            "piece " + std::to_string(sequence) + " after the upgrade failed");
            }
            m_state = State::Idle;
            return Fail(sequence,
                        "upgrade starts with piece " + std::to_string(sequence) + ", not 1");
        }
        m_state = State::Receiving;
        m_kind = kind;
        m_taken = 0;
        m_image.clear();
    } else if (kind != m_kind) {
        return Fail(sequence, std::string(UpgradeKindName(kind)) + " piece " +
                                  std::to_string(sequence) + " during the " +
                                  UpgradeKindName(m_kind) + " upgrade");
    } else if (sequence != m_taken + 1) {
        const char* what = sequence <= m_taken ? "repeated" : "out-of-order";
        return Fail(sequence, std::string(what) + " piece " + std::to_string(sequence) +
                                  " (expected " + std::to_string(m_taken + 1) + ")");
    }
    if (size > m_maxImage - m_image.size()) {
        return Fail(sequence, "image larger than " + std::to_string(m_maxImage) + " bytes");
    }
    m_image.insert(m_image.end(), data, data + size);
    m_taken = sequence;
    Result r;
    r.sequence = sequence;
    if (sequence == kPieces) {
        m_state = State::Complete;
        r.outcome = Outcome::Complete;
    } else {
        r.outcome = Outcome::Accepted;
    }
    return r;
}

void UpgradeAssembler::Abort() {
    m_state = State::Failed;
    m_image.clear();
    m_image.shrink_to_fit();
}

std::vector<uint8_t> UpgradeAssembler::TakeImage() {
    std::vector<uint8_t> image = std::move(m_image);
    m_image.clear();
    if (m_state == State::Complete) {
        m_state = State::Idle;
    }
    return image;
}

}  // namespace sim

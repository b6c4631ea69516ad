#include "common/crypto/CmdDataBuffer.h"

#include "common/crypto/CDataEncryption.h"

void BufoutDeleter::operator()(uint8_t* buffer) const {
    CDataEncryption::FreeBufout(buffer);
}

CmdDataBuffer CmdDataBuffer::InPlace(uint8_t* data, size_t length) {
    CmdDataBuffer result;
    result.m_data = data;
    result.m_size = length;
    result.m_ok = true;
    return result;
}

CmdDataBuffer CmdDataBuffer::Owned(BufoutPtr buffer, size_t length) {
    CmdDataBuffer result;
    result.m_data = buffer.get();
    result.m_owned = std::move(buffer);
    result.m_size = length;
    result.m_ok = true;
    return result;
}

uint8_t* CmdDataBuffer::Release() {
    return m_owned.release();
}

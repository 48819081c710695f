// Output streams: the abstract stub, its manipulators and the stream over a C FILE.
#include <cinttypes>

#include "console.h"

TnOutStreamStub::~TnOutStreamStub() = default;

TnOutStreamStub& endl(TnOutStreamStub& stream) {
    return stream.endLine();
}
TnOutStreamStub& flush(TnOutStreamStub& stream) {
    return stream.flush();
}

TnOutStreamFILE::~TnOutStreamFILE() {
    m_file = nullptr;
}

// "0x" and the address in hexadecimal digits, as wide as a pointer.
TnOutStreamStub& TnOutStreamFILE::operator<<(const void* pointer) {
    std::fprintf(m_file, "0x%0*" PRIXPTR, static_cast<int>(2 * sizeof pointer),
                 reinterpret_cast<uintptr_t>(pointer));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(char c) {
    std::fprintf(m_file, "%c", c);
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(double value) {
    std::fprintf(m_file, "%lf", value);
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(float value) {
    std::fprintf(m_file, "%f", static_cast<double>(value));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(uint16_t value) {
    std::fprintf(m_file, "%u", static_cast<unsigned>(value));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(uint32_t value) {
    std::fprintf(m_file, "%u", static_cast<unsigned>(value));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(uint64_t value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%" PRIu64, value);
    std::fprintf(m_file, "%s", digits);
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(int16_t value) {
    std::fprintf(m_file, "%d", static_cast<int>(value));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(int32_t value) {
    std::fprintf(m_file, "%d", static_cast<int>(value));
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::operator<<(int64_t value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%" PRId64, value);
    std::fprintf(m_file, "%s", digits);
    return *this;
}

// A null text writes nothing.
TnOutStreamStub& TnOutStreamFILE::operator<<(const char* text) {
    if (text != nullptr) std::fprintf(m_file, "%s", text);
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::endLine() {
    std::fputc('\n', m_file);
    return *this;
}

TnOutStreamStub& TnOutStreamFILE::flush() {
    std::fflush(m_file);
    return *this;
}

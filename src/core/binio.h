// Bounds-checked little-endian reading and writing of binary data, over bytes in memory or an
// NztFile. Every reader of the engine goes through BinReader: a read that does not fit yields zeros
// and makes the reader fail for good, so a loader reads its fields and checks Ok() once.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/nztfile.h"
#include "core/nztmath.h"

class BinReader {
 public:
    BinReader(const void* data, size_t bytes)
        : data_(static_cast<const uint8_t*>(data)), length_(data ? bytes : 0) {}
    // Reads from the stream's current position; the stream's length bounds every read.
    explicit BinReader(NztFile& stream) : file_(&stream), position_(stream.Tell()) {
        length_ = stream.Length();
        if (position_ > length_) position_ = length_;
    }

    bool Ok() const { return !failed_; }
    bool Failed() const { return failed_; }
    void Fail() { failed_ = true; }
    uint64_t Position() const { return position_; }
    uint64_t Length() const { return length_; }
    uint64_t Remaining() const { return failed_ ? 0 : length_ - position_; }
    // Whether count records of recordBytes each can still be read (no overflow for any count).
    bool Fits(uint64_t count, uint64_t recordBytes) const {
        return recordBytes == 0 || count <= Remaining() / recordBytes;
    }

    // Copies n bytes, or zero-fills the destination and fails when they are not all there.
    bool Read(void* destination, uint64_t n) {
        if (n == 0) return !failed_;
        if (failed_ || n > length_ - position_) {
            std::memset(destination, 0, n);
            failed_ = true;
            return false;
        }
        if (file_) {
            if (file_->Read(static_cast<uint32_t>(n), destination) != n) {
                failed_ = true;
                return false;
            }
        } else {
            std::memcpy(destination, data_ + position_, n);
        }
        position_ += n;
        return true;
    }
    bool Skip(uint64_t n) {
        if (failed_ || n > length_ - position_) {
            failed_ = true;
            return false;
        }
        if (file_ && !file_->Skip(static_cast<uint32_t>(n))) {
            failed_ = true;
            return false;
        }
        position_ += n;
        return true;
    }
    // In-memory sources only: a view of the next n bytes (null and failure when they do not fit).
    const uint8_t* View(uint64_t n) {
        if (file_ || failed_ || n > length_ - position_) {
            failed_ = true;
            return nullptr;
        }
        const uint8_t* p = data_ + position_;
        position_ += n;
        return p;
    }

    uint8_t U8() { return static_cast<uint8_t>(Le(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint64_t U64() { return Le(8); }
    int64_t I64() { return static_cast<int64_t>(U64()); }
    float F32() {
        uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    double F64() {
        uint64_t bits = U64();
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }

    // A fixed text field of fieldBytes bytes into a buffer of bufferBytes. The field's last byte
    // counts as its terminator whatever the file holds, and the text is cut to the buffer.
    bool Text(char* buffer, size_t bufferBytes, uint64_t fieldBytes) {
        if (bufferBytes == 0) return Skip(fieldBytes);
        if (fieldBytes == 0) {
            buffer[0] = 0;
            return !failed_;
        }
        uint64_t keep = fieldBytes < bufferBytes ? fieldBytes : bufferBytes;
        bool ok = Read(buffer, keep) && Skip(fieldBytes - keep);
        buffer[keep - 1] = 0;
        return ok;
    }
    // A text field exactly as large as the array, as the files' 256-byte name fields.
    template <size_t N>
    bool Text(char (&buffer)[N]) {
        return Text(buffer, N, N);
    }

 private:
    uint64_t Le(int bytes) {
        uint8_t b[8];
        if (!Read(b, static_cast<uint64_t>(bytes))) return 0;
        uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
        return v;
    }

    const uint8_t* data_ = nullptr;
    NztFile* file_ = nullptr;
    uint64_t length_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
};

class BinWriter {
 public:
    explicit BinWriter(std::vector<uint8_t>& out) : bytes_(&out) {}
    explicit BinWriter(NztFile& stream) : file_(&stream) {}

    bool Ok() const { return !failed_; }
    // Bytes written through this writer (for a byte vector: its whole size).
    uint64_t Position() const { return bytes_ ? bytes_->size() : written_; }

    void Bytes(const void* source, size_t n) {
        if (n == 0 || failed_) return;
        if (bytes_) {
            size_t old = bytes_->size();
            bytes_->resize(old + n);
            std::memcpy(bytes_->data() + old, source, n);
        } else if (n > UINT32_MAX || file_->Write(static_cast<uint32_t>(n), source) != n) {
            failed_ = true;
            return;
        }
        written_ += n;
    }
    void Zeros(size_t n) {
        static const uint8_t zeros[256] = {};
        while (n > 0 && !failed_) {
            size_t step = n < sizeof zeros ? n : sizeof zeros;
            Bytes(zeros, step);
            n -= step;
        }
    }
    void U8(uint8_t v) { Le(v, 1); }
    void U16(uint16_t v) { Le(v, 2); }
    void U32(uint32_t v) { Le(v, 4); }
    void I32(int32_t v) { Le(static_cast<uint32_t>(v), 4); }
    void U64(uint64_t v) { Le(v, 8); }
    void I64(int64_t v) { Le(static_cast<uint64_t>(v), 8); }
    void F32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    void F64(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        U64(bits);
    }
    // A fixed text field of fieldBytes bytes: the text cut to fieldBytes - 1, zero-padded.
    void Text(std::string_view text, size_t fieldBytes) {
        if (fieldBytes == 0) return;
        size_t n = text.size() < fieldBytes - 1 ? text.size() : fieldBytes - 1;
        Bytes(text.data(), n);
        Zeros(fieldBytes - n);
    }

 private:
    void Le(uint64_t v, int bytes) {
        uint8_t b[8];
        for (int i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
        Bytes(b, static_cast<size_t>(bytes));
    }

    std::vector<uint8_t>* bytes_ = nullptr;
    NztFile* file_ = nullptr;
    uint64_t written_ = 0;
    bool failed_ = false;
};

// Three f32 (x, y, z), the layout of every stored point and vector.
inline Vec3 ReadVec3(BinReader& r) {
    Vec3 v;
    v.x = r.F32();
    v.y = r.F32();
    v.z = r.F32();
    return v;
}

#pragma once
// Byte streams. A receive stream handed to a component stays owned by the caller.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Events.h"

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
    // Reads or writes up to Count bytes, returns how many were moved.
    virtual int Read(void* Buffer, int Count) = 0;
    virtual int Write(const void* Buffer, int Count) = 0;
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    // Cuts the stream back (or extends it) to NewSize bytes.
    virtual void SetSize(int64_t NewSize) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
    int64_t Size();

    // Whole-buffer variants: throw EStreamError when fewer bytes move.
    void ReadBuffer(void* Buffer, int Count);
    void WriteBuffer(const void* Buffer, int Count);
    void WriteString(const std::string& S) { WriteBuffer(S.data(), static_cast<int>(S.size())); }
    // The bytes from the current position to the end.
    std::string ReadRest();
};

class TMemoryStream : public TStream {
public:
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    void Clear() {
        FData.clear();
        FPos = 0;
    }
    const char* Memory() const { return FData.data(); }
    const std::string& DataString() const { return FData; }

private:
    std::string FData;
    size_t FPos = 0;
};

enum TFileMode { fmCreate, fmOpenRead, fmOpenReadWrite };

class TFileStream : public TStream {
public:
    // Throws EStreamError "Cannot create file <name>" / "Cannot open file <name>".
    TFileStream(const std::string& FileName, TFileMode Mode);
    ~TFileStream() override;
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    const std::string& FileName() const { return FFileName; }

private:
    std::FILE* FFile = nullptr;
    std::string FFileName;
};

// Reads a whole file; throws EStreamError when it cannot be opened.
std::string LoadFileToString(const std::string& FileName);

#include "base/Streams.h"

#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t end = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return end;
}

void TStream::ReadBuffer(void* Buffer, int Count) {
    if (Count > 0 && Read(Buffer, Count) != Count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int Count) {
    if (Count > 0 && Write(Buffer, Count) != Count) throw EStreamError("Stream write error");
}

std::string TStream::ReadRest() {
    std::string r;
    char buf[65536];
    for (;;) {
        int n = Read(buf, sizeof buf);
        if (n <= 0) break;
        r.append(buf, static_cast<size_t>(n));
    }
    return r;
}

int TMemoryStream::Read(void* Buffer, int Count) {
    if (Count <= 0 || FPos >= FData.size()) return 0;
    size_t n = FData.size() - FPos;
    if (n > static_cast<size_t>(Count)) n = static_cast<size_t>(Count);
    std::memcpy(Buffer, FData.data() + FPos, n);
    FPos += n;
    return static_cast<int>(n);
}

int TMemoryStream::Write(const void* Buffer, int Count) {
    if (Count <= 0) return 0;
    size_t n = static_cast<size_t>(Count);
    if (FPos + n > FData.size()) FData.resize(FPos + n);
    std::memcpy(&FData[FPos], Buffer, n);
    FPos += n;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t base = Origin == soBeginning ? 0
                   : Origin == soCurrent ? static_cast<int64_t>(FPos)
                                         : static_cast<int64_t>(FData.size());
    int64_t p = base + Offset;
    if (p < 0) p = 0;
    FPos = static_cast<size_t>(p);
    return p;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    FData.resize(NewSize < 0 ? 0 : static_cast<size_t>(NewSize));
    if (FPos > FData.size()) FPos = FData.size();
}

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
    const char* how = Mode == fmCreate ? "w+b" : Mode == fmOpenRead ? "rb" : "r+b";
    FFile = std::fopen(FileName.c_str(), how);
    if (!FFile)
        throw EStreamError((Mode == fmCreate ? "Cannot create file " : "Cannot open file ") + FileName);
}

TFileStream::~TFileStream() {
    if (FFile) std::fclose(FFile);
}

int TFileStream::Read(void* Buffer, int Count) {
    if (Count <= 0) return 0;
    return static_cast<int>(std::fread(Buffer, 1, static_cast<size_t>(Count), FFile));
}

int TFileStream::Write(const void* Buffer, int Count) {
    if (Count <= 0) return 0;
    size_t n = std::fwrite(Buffer, 1, static_cast<size_t>(Count), FFile);
    // Report a full disk now rather than at close, when nobody could hear it.
    if (n == static_cast<size_t>(Count) && std::fflush(FFile) != 0) return 0;
    return static_cast<int>(n);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
#ifdef _WIN32
    if (_fseeki64(FFile, Offset, whence) != 0) return -1;
    return _ftelli64(FFile);
#else
    if (fseeko(FFile, Offset, whence) != 0) return -1;
    return ftello(FFile);
#endif
}

void TFileStream::SetSize(int64_t NewSize) {
    std::fflush(FFile);
    int64_t pos = Position();
#ifdef _WIN32
    bool ok = _chsize_s(_fileno(FFile), NewSize) == 0;
#else
    bool ok = ftruncate(fileno(FFile), static_cast<off_t>(NewSize)) == 0;
#endif
    if (!ok) throw EStreamError("Cannot change the size of " + FFileName);
    Seek(pos < NewSize ? pos : NewSize, soBeginning);
}

std::string LoadFileToString(const std::string& FileName) {
    TFileStream f(FileName, fmOpenRead);
    return f.ReadRest();
}

#pragma once
// What a socket in line mode holds: the bytes received (edited as a terminal would, when
// asked), cut into lines at a terminator and handed out a line at a time. Buffer logic only;
// the socket reads the network and raises the events.
#include <cstddef>
#include <string>

class TLineBuffer {
public:
    // The terminator; a change looks for lines from the start of the buffer again.
    const std::string& LineEnd() const { return FLineEnd; }
    void SetLineEnd(const std::string& Value);

    // Appends received bytes. With Edit, a backspace takes back the previous character of
    // the current line and a tab becomes spaces up to the next multiple of 8 in the line.
    // Returns what to echo back: nothing unless Echo; the received bytes without Edit; the
    // effect of the editing with it (backspace, space, backspace for a character taken back).
    std::string Append(const char* Data, size_t Len, bool Edit, bool Echo);

    // Moves on to the next whole line when one is buffered: ReadLine then hands it out,
    // terminator included.
    bool NextLine();
    // Bytes of the current line not yet handed out.
    size_t LineLeft() const { return FLineLeft; }
    size_t ReadLine(char* Out, size_t Len);
    // Drops what the reader left of the current line.
    void SkipLine();
    // Makes everything buffered the current line (the input ended inside a line); false
    // when nothing is buffered.
    bool TakeRest();
    // Outside line mode: up to Len buffered bytes, lines or not.
    size_t Read(char* Out, size_t Len);
    // Forgets the current line, and looks for lines from the start again (line mode was
    // switched).
    void Rescan();

    size_t Size() const { return FData.size() - FStart; }
    bool Empty() const { return Size() == 0; }
    void Clear();

private:
    void Consume(size_t N);
    // Bytes before FStart were handed out; offsets below count from FStart.
    std::string FData;
    size_t FStart = 0;
    std::string FLineEnd = "\r\n";
    size_t FLineLeft = 0;
    // No terminator starts before this offset: a long line arriving in small pieces is not
    // searched from its start every time.
    size_t FScanFrom = 0;
};

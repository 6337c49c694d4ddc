// What a library prints while it is called, kept from the program's output: the program's own
// earlier output still reaches its reader, in order, and nothing of the library's does.

#include "CapturedOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

using namespace platform::netapi;

TEST(CapturedOutput, TheProgramsEarlierOutputGoesOutAndTheLibrarysIsCaught)
{
    CCapturedOutput reader; // stands for what the program's reader gets
    std::printf("the program's line, still in stdio's buffer ");
    std::string strCaught;
    {
        CCapturedOutput library;
        std::printf("printed by the library\n");
        std::fputs("its debug line\n", stderr);
        ASSERT_EQ(::write(STDOUT_FILENO, "written past stdio\n", 19), 19);
        std::printf("left in the buffer");
        strCaught = library.Release();
    }
    std::printf("and the program again\n");
    EXPECT_EQ(reader.Release(), "the program's line, still in stdio's buffer and the program again\n");
    // Standard output is buffered by stdio away from a terminal: the library's text on it comes out
    // when the capture ends, after what went straight to the descriptors.
    EXPECT_EQ(strCaught, "its debug line\nwritten past stdio\nprinted by the library\nleft in the buffer");
}

TEST(CapturedOutput, EachLineBecomesANoteWithItsControlCharactersEscaped)
{
    std::vector<std::wstring> notes{L"earlier"};
    NotePrinted(notes, L"libnetapi", "first\n\nsecond \x1b[2J\r\nlast without a line feed");
    EXPECT_EQ(notes, (std::vector<std::wstring>{L"earlier", L"libnetapi printed: first",
                                                L"libnetapi printed: second \\x1b[2J\\x0d",
                                                L"libnetapi printed: last without a line feed"}));
}

// complement_copy SOURCE TARGET: copies a file with every byte complemented, through one buffer
// of 1 MiB, in the plainest loop there is, compiled for speed: what vaultdump's extraction of an
// item is measured against (bench/vaultdump/run.sh).

#include <cstdint>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: complement_copy SOURCE TARGET\n", stderr);
        return 2;
    }
    const int fdSource = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    const int fdTarget = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fdSource < 0 || fdTarget < 0) {
        std::perror("complement_copy");
        return 1;
    }
    std::vector<std::uint8_t> block(1 << 20);
    for (ssize_t cbRead; (cbRead = ::read(fdSource, block.data(), block.size())) > 0;) {
        for (ssize_t i = 0; i < cbRead; ++i)
            block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(~block[static_cast<std::size_t>(i)]);
        for (ssize_t cbDone = 0; cbDone < cbRead;) {
            const ssize_t cbWritten =
                ::write(fdTarget, block.data() + cbDone, static_cast<std::size_t>(cbRead - cbDone));
            if (cbWritten <= 0) {
                std::perror("complement_copy");
                return 1;
            }
            cbDone += cbWritten;
        }
    }
    return ::close(fdTarget) == 0 && ::close(fdSource) == 0 ? 0 : 1;
}

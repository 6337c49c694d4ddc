# What an installation holds below its prefix, and only that: no test programs, no link for
# building against the library. Sourced by the install and package tests.

# The files below the folder, one relative path a line, in byte order.
files_below() { (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }

# Compares the files below the folder with the list, the library folder given; the difference,
# or nothing.
unexpected_files() {
    local folder=$1 libdir=$2
    diff <(sed "s|^LIBDIR/|$libdir/|" "$(dirname "${BASH_SOURCE[0]}")/installed-files.txt" | LC_ALL=C sort) \
        <(files_below "$folder") || true
}

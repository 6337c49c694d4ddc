// realmscan: prints every trust of the computer's domain. Arguments are ignored.

#include "TrustListing.h"

int main()
{
    return Realmscan::ListDomainTrusts(stdout, stderr);
}

# The Linux library and tool, with the whole test suite: first, so that
# their failures show without waiting for anything else.
cmake --workflow --preset default

# The export test loads the shared library itself.
add_dependencies(VmLib_test_exports sndprobe_shared)

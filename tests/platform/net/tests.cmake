# The network stand-in's tests: server table, trusted roots, name lookup and ping.
kipo_add_tests(platform/net)

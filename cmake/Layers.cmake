# The layering of the code: which module may link which, written once.
#
# Each row names a module (a library or program of ours) and the modules it may link
# directly. A module may also link whatever those may link, row by row down to
# platform_base: a layer may use every layer below it. The ctest `module_boundaries`
# (scripts/check_module_boundaries.py) fails on every link the rows do not allow and on
# every module without a row, naming them; so adding a module or widening a layer is an
# edit of this table, and the link dependencies in the modules' CMakeLists must stay
# inside it.

# skyreach_may_link(<module> [<module>...])
function(skyreach_may_link module)
  set_property(GLOBAL APPEND PROPERTY SKYREACH_LAYER_ROWS ${module})
  set_property(GLOBAL PROPERTY SKYREACH_MAY_LINK_${module} ${ARGN})
endfunction()

# The platform layer.
skyreach_may_link(platform_base)
skyreach_may_link(platform_dispatch      platform_base)
skyreach_may_link(platform_concurrency   platform_dispatch)
skyreach_may_link(platform_combine       platform_base)
skyreach_may_link(platform_runtime       platform_base)
skyreach_may_link(platform_foundation    platform_base)
skyreach_may_link(platform_crypto        platform_base)
skyreach_may_link(platform_os            platform_foundation platform_dispatch platform_runtime)
skyreach_may_link(platform_net           platform_os platform_crypto)
skyreach_may_link(platform_graphics      platform_os)
skyreach_may_link(platform_appkit        platform_graphics)
skyreach_may_link(platform_webkit        platform_net)

# Libraries on the platform.
skyreach_may_link(logging                platform_os)
skyreach_may_link(Pledge                 platform_net platform_concurrency)
skyreach_may_link(Clasp                  platform_appkit)
skyreach_may_link(Configurable           platform_graphics)
skyreach_may_link(Cobbleton              platform_appkit)
skyreach_may_link(Hawser                 platform_net platform_concurrency platform_combine)

# Typed network and the clients.
skyreach_may_link(Berth                  Hawser platform_graphics)
skyreach_may_link(TallockSDK             Berth)
skyreach_may_link(LumenAnalyticsSDK      platform_webkit platform_appkit)
skyreach_may_link(Common                 logging)

# The application, the program and its helper programs.
skyreach_may_link(updater_core           Common TallockSDK LumenAnalyticsSDK Pledge Clasp Cobbleton)
skyreach_may_link(skyreach_updater       updater_core)
skyreach_may_link(ditto)
skyreach_may_link(draw_updater_art)

# The tests' helpers.
skyreach_may_link(test_support           platform_base)

# The libmpv + libavformat implementation of MediaPlayerEngine.
list(APPEND MEDIA_SOURCES
)

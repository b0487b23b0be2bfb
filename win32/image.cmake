# LoadFirmwareImage under Windows: the RCDATA resource of the program (halvern_rc_firmware).
halvern_add_library(halvern_win32_image SOURCES ${CMAKE_CURRENT_LIST_DIR}/FirmwareImageResource.cpp)
target_compile_definitions(halvern_win32_image PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

// GMime and the GObject functions its type macros (GMIME_IS_PART, ...)
// call, opened at the first mail taken apart rather than at start (see
// common/lazylib.h). Every such function the program calls is here.
#ifdef KORVANE_LAZY_LIBS

#include <gmime/gmime.h>

#include "common/lazylib.h"

namespace {
const korvane::lazylib::Library gmime(KORVANE_GMIME_SONAME);
const korvane::lazylib::Library gobject(KORVANE_GOBJECT_SONAME);
}  // namespace

KORVANE_LAZY_FUNCTION_0(gmime, g_mime_init)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_shutdown)

KORVANE_LAZY_FUNCTION_0(gmime, g_mime_parser_options_new)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_parser_options_get_default)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_parser_options_free)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_parser_options_set_fallback_charsets)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_parser_options_set_rfc2047_compliance_mode)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_parser_new_with_stream)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_parser_set_persist_stream)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_parser_construct_message)

KORVANE_LAZY_FUNCTION_0(gmime, g_mime_stream_mem_get_type)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_stream_mem_new)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_stream_mem_new_with_byte_array)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_stream_mem_new_with_buffer)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_stream_mem_get_byte_array)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_stream_mem_set_owner)
KORVANE_LAZY_FUNCTION_3(gmime, g_mime_stream_read)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_stream_reset)

KORVANE_LAZY_FUNCTION_0(gmime, g_mime_object_get_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_object_get_content_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_object_get_header_list)
KORVANE_LAZY_FUNCTION_3(gmime, g_mime_object_write_to_stream)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_content_type_get_mime_type)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_header_list_get_header)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_header_get_value)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_header_get_raw_value)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_data_wrapper_get_stream)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_data_wrapper_write_to_stream)

KORVANE_LAZY_FUNCTION_1(gmime, g_mime_message_get_mime_part)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_message_part_get_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_message_part_get_message)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_message_partial_get_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_message_partial_get_number)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_message_partial_get_total)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_message_partial_reconstruct_message)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_multipart_get_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_multipart_get_count)
KORVANE_LAZY_FUNCTION_2(gmime, g_mime_multipart_get_part)
KORVANE_LAZY_FUNCTION_0(gmime, g_mime_part_get_type)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_part_get_content)
KORVANE_LAZY_FUNCTION_1(gmime, g_mime_part_get_filename)

KORVANE_LAZY_FUNCTION_1(gobject, g_object_unref)
KORVANE_LAZY_FUNCTION_2(gobject, g_type_check_instance_cast)
KORVANE_LAZY_FUNCTION_2(gobject, g_type_check_instance_is_a)

#endif

// What the writer and the appender share about a Jet database's contents:
// page types, fixed pages, catalog object ids and types, column type and flag
// codes, and the access rights the engine grants on its own objects.
#pragma once

#include <cstdint>

namespace jet::detail {

// First byte of every page.
enum PageType : std::uint8_t {
    page_header = 0,
    page_data = 1,
    page_tdef = 2,
    page_index_node = 3,
    page_index_leaf = 4,
    page_usage_bitmap = 5,
};

// Pages whose place is fixed: the header, the global usage map and the
// definitions of the four system tables; their usage maps start at page 6.
constexpr std::uint32_t page_global_map = 1;
constexpr std::uint32_t page_objects = 2, page_aces = 3, page_queries = 4, page_relationships = 5;
constexpr std::uint32_t page_first_holder = 6;

// MSysObjects ids. A table's id is its definition page; the high byte holds flags.
constexpr std::int32_t id_root = 0x0F000000;
constexpr std::int32_t id_tables = 0x0F000001;
constexpr std::int32_t id_databases = 0x0F000002;
constexpr std::int32_t id_relationships = 0x0F000003;
constexpr std::int32_t id_msysdb = 0x10000000;
constexpr std::uint32_t id_page_mask = 0x00FFFFFF;
constexpr std::int32_t flag_system_object = static_cast<std::int32_t>(0x80000000u);

// MSysObjects.Type.
enum ObjectType : std::uint16_t { object_table = 1, object_database = 2, object_container = 3 };

// Table type byte of a definition.
enum TableType : std::uint8_t { table_user = 0x4E, table_system = 0x53 };

enum ColumnType : std::uint8_t {
    col_boolean = 1,
    col_byte = 2,
    col_integer = 3,
    col_long = 4,
    col_datetime = 8,
    col_binary = 9,
    col_text = 10,
    col_ole = 11,
    col_memo = 12,
};

// Limits of a table: columns, and the characters of the text columns written.
constexpr unsigned max_columns = 255;
constexpr std::uint16_t text_chars = 255;

// Column flag bits in the descriptor.
enum : std::uint8_t { flag_fixed = 0x01, flag_updatable = 0x02, flag_system = 0x10, flag_sid = 0x20 };

// Index flag bits in a real index block (Jet 4 adds 0x80 to all).
enum : std::uint8_t { index_unique = 0x01, index_ignore_nulls = 0x02, index_required = 0x08, index_jet4 = 0x80 };
enum : std::uint8_t { index_primary_key = 1 };

// Usage map row kinds.
enum : std::uint8_t { map_inline = 0, map_reference = 1 };

// Constants of the format with no known meaning, present in every engine file.
constexpr std::uint32_t jet4_magic_column = 1625;
constexpr std::uint32_t jet4_magic_index = 1923;
constexpr unsigned sort_general = 0x0409;
constexpr unsigned code_page_1252 = 1252;

// Access rights (ACM) the engine grants on its own objects.
constexpr std::int32_t acm_read_def = 393216, acm_container_admin = 393217, acm_relationships = 917504;
constexpr std::int32_t acm_msysdb_admin = 393230, acm_msysdb_users = 14, acm_read_users = 20;
constexpr std::int32_t acm_creator = 983294, acm_tables_users = 1048319, acm_full = 1048575;

}  // namespace jet::detail

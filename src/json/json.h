// The JSON layer in one include: values, element lists, member tables, text form, parser and
// member lookup.
#pragma once

#include "json/json_array.h"
#include "json/json_member_lookup.h"
#include "json/json_member_table.h"
#include "json/json_number_text.h"
#include "json/json_parser.h"
#include "json/json_text.h"
#include "json/json_text_buffer.h"
#include "json/json_value.h"

/*
 * The plug-in's exported functions: the one list of them. Each line is
 * PLIX_EXPORT(name, member): the exported name, and a short name for a
 * record of function pointers that binds them. The build makes the
 * linker's version script and the Windows module-definition file from this
 * list, and the tests and plixctl bind the library from it.
 *
 * Define PLIX_EXPORT(name, member) before including; the file has no
 * include guard so that it can be included once per use.
 */
PLIX_EXPORT(plix_validate, validate)
PLIX_EXPORT(plix_list, list)
PLIX_EXPORT(plix_stream_url, stream_url)
PLIX_EXPORT(plix_download, download)
PLIX_EXPORT(plix_set_io, set_io)
PLIX_EXPORT(plix_use_curl, use_curl)
PLIX_EXPORT(plix_use_fake, use_fake)
PLIX_EXPORT(plix_allow_writes, allow_writes)
PLIX_EXPORT(plix_result_json, result_json)
PLIX_EXPORT(plix_last_error, last_error)
PLIX_EXPORT(plix_version, version)
PLIX_EXPORT(plix_runtime_type, runtime_type)
PLIX_EXPORT(plix_caps, caps)
PLIX_EXPORT(plix_base_url, base_url)
PLIX_EXPORT(plhnd_get, handler)
PLIX_EXPORT(plix_parse_season_episode, parse_season_episode)
PLIX_EXPORT(plix_is_torrent_file, is_torrent_file)
PLIX_EXPORT(plix_is_magnet_link, is_magnet_link)
PLIX_EXPORT(plix_redact, redact)
PLIX_EXPORT(plix_fake_reset, fake_reset)
PLIX_EXPORT(plix_fake_set, fake_set)
PLIX_EXPORT(plix_fake_fail, fake_fail)
PLIX_EXPORT(plix_fake_calls, fake_calls)
PLIX_EXPORT(plix_fake_last_body, fake_last_body)
PLIX_EXPORT(plix_fake_last_url, fake_last_url)

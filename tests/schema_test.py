"""The JSON Schemas of config.json and of a pack file: the example server
folders validate against them, and on small samples they agree with
glyphwork-check on what is clean."""

import argparse
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest

import jsonschema

ARGS = None
PLUGIN = pathlib.Path("ShooterGame", "Binaries", "Win64", "ArkApi", "Plugins", "Glyphwork")
PACK = {"EmojiPath": "/Game/E/", "EmojiArray": ["e"]}

# (config.json, the one pack, clean?)
SAMPLES = [
    ({}, PACK, True),
    ({"$schema": "config.schema.json", "UsePermissions": True, "PermissionsGroups": ["Admins"],
      "RemapEmoji": [{"Name": "ark", "Path": "/Game/Custom/ArkLogo.ArkLogo"}], "Packs": ["a.json"]},
     {"$schema": "pack.schema.json", "EmojiPath": "/Game/E/", "EmojiArray": ["e", "f"]}, True),
    ({"UsePermissions": False}, PACK, True),
    ({"UsePermissions": "yes"}, PACK, False),
    ({"UsePermissions": True}, PACK, False),
    ({"UsePermissions": True, "PermissionsGroups": []}, PACK, False),
    ({"PermissionsGroups": "Admins"}, PACK, False),
    ({"PermissionsGroups": ["Admins", 5]}, PACK, False),
    ({"RemapEmoji": [{"Name": "r", "Path": 7}]}, PACK, False),
    ({"RemapEmoji": [{"Path": "/Game/R.R"}]}, PACK, False),
    ({"RemapEmoji": [{"Name": "r"}]}, PACK, False),
    ({"RemapEmoji": [{"Name": "big smile", "Path": "/Game/R.R"}]}, PACK, False),
    ({"RemapEmoji": [{"Name": "r", "Path": "/Game/R.R", "Size": 2}]}, PACK, False),
    ({"RemapEmoji": {"Name": "r", "Path": "/Game/R.R"}}, PACK, False),
    ({"usePermissions": True}, PACK, False),
    ({"Packs": "a.json"}, PACK, False),
    ([], PACK, False),
    ({}, {"EmojiPath": "/Game/E", "EmojiArray": ["e"]}, False),
    ({}, {"EmojiArray": ["e"]}, False),
    ({}, {"EmojiPath": "/Game/E/"}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": []}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e", "e"]}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e", 3]}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["a:b"]}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": "e"}, False),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e"], "Author": "me"}, False),
    ({}, ["e"], False),
    ({"EmojiListCommand": "/emojis", "MaxEmojiPerMessage": 5, "AllowEscape": True, "BlockTypedMarkup": False},
     PACK, True),
    ({"EmojiListCommand": 3}, PACK, False),
    ({"EmojiListCommand": "emojis"}, PACK, False),
    ({"EmojiListCommand": "/my emojis"}, PACK, False),
    ({"EmojiListCommand": ""}, PACK, False),
    ({"MaxEmojiPerMessage": 0}, PACK, False),
    ({"MaxEmojiPerMessage": -1}, PACK, False),
    ({"MaxEmojiPerMessage": 2.5}, PACK, False),
    ({"AllowEscape": "yes"}, PACK, False),
    ({"BlockTypedMarkup": 1}, PACK, False),
    ({"Groups": ["VIP"]}, PACK, False),
    ({}, dict(PACK, Groups=["VIP", "Staff"]), True),
    ({}, dict(PACK, Groups=[]), False),
    ({}, dict(PACK, Groups="VIP"), False),
    ({}, dict(PACK, Groups=["VIP", 1]), False),
    ({"Usage": {"Enabled": True}}, PACK, True),
    ({"Usage": {"Enabled": False, "FlushSeconds": 30, "Sqlite": "stats/usage.sqlite3"}}, PACK, True),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Port": 3306, "User": "glyphwork", "Database": "glyphwork",
                                           "Server": "island"}}}, PACK, True),
    ({"Usage": {}}, PACK, False),
    ({"Usage": True}, PACK, False),
    ({"Usage": {"Enabled": "yes"}}, PACK, False),
    ({"Usage": {"Enabled": True, "FlushSeconds": 0}}, PACK, False),
    ({"Usage": {"Enabled": True, "Sqlite": ""}}, PACK, False),
    ({"Usage": {"Enabled": True, "Sqlite": "a.sqlite3", "Mysql": {"Host": "db", "Server": "island"}}}, PACK, False),
    ({"Usage": {"Enabled": True, "Mysql": {"Server": "island"}}}, PACK, False),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db"}}}, PACK, False),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Server": "island", "Password": "secret"}}}, PACK, False),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Server": "island", "Port": 0}}}, PACK, False),
    ({"Usage": {"Enabled": True, "Flush": 5}}, PACK, False),
]


def load(path):
    with open(path, encoding="utf-8-sig") as file:
        return json.load(file)


class SchemaTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        schemas = pathlib.Path(ARGS.source, "schema")
        cls.config = jsonschema.Draft7Validator(load(schemas / "config.schema.json"))
        cls.pack = jsonschema.Draft7Validator(load(schemas / "pack.schema.json"))

    def test_schemas_are_valid_draft_7(self):
        for validator in (self.config, self.pack):
            jsonschema.Draft7Validator.check_schema(validator.schema)

    def test_example_server_folders_validate(self):
        configs = sorted(pathlib.Path(ARGS.source, "examples").rglob(str(PLUGIN / "config.json")))
        self.assertTrue(configs, "no example server folder found")
        for config in configs:
            errors = [e.message for e in self.config.iter_errors(load(config))]
            self.assertEqual([], errors, config)
            packs = sorted(p for p in (config.parent / "Packs").iterdir() if p.is_file())
            self.assertTrue(packs, config)
            for pack in packs:
                self.assertEqual([], [e.message for e in self.pack.iter_errors(load(pack))], pack)

    def test_schema_and_checker_agree_on_samples(self):
        for config, pack, clean in SAMPLES:
            with self.subTest(config=config, pack=pack):
                schema_clean = self.config.is_valid(config) and self.pack.is_valid(pack)
                self.assertEqual(clean, schema_clean)
                with tempfile.TemporaryDirectory() as root:
                    folder = pathlib.Path(root, PLUGIN)
                    (folder / "Packs").mkdir(parents=True)
                    (folder / "config.json").write_text(json.dumps(config), encoding="utf-8")
                    (folder / "Packs" / "a.json").write_text(json.dumps(pack), encoding="utf-8")
                    run = subprocess.run([ARGS.check, "--root", root], capture_output=True, text=True)
                    self.assertEqual(0 if clean else 1, min(run.returncode, 1), run.stdout + run.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the repository's top folder")
    parser.add_argument("--check", required=True, help="the glyphwork-check program")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)

"""The JSON Schemas of config.json and of a pack file: the example server
folders and the README's examples validate against them, so do the forms
the README allows (a cap of 0, a list written as one string or as null), and
on small samples they agree with glyphwork-check: what it finds clean they
accept, what it calls an error they refuse."""

import argparse
import json
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

import jsonschema

ARGS = None
PLUGIN = pathlib.Path("ShooterGame", "Binaries", "Win64", "ArkApi", "Plugins", "Glyphwork")
PACK = {"EmojiPath": "/Game/E/", "EmojiArray": ["e"]}

# (config.json, the one pack, valid for the schemas?, glyphwork-check's exit
# status on the files alone: 0 clean, 1 warnings, 2 errors)
SAMPLES = [
    ({}, PACK, True, 0),
    ({"$schema": "config.schema.json", "UsePermissions": True, "PermissionsGroups": ["Admins"],
      "RemapEmoji": [{"Name": "ark", "Path": "/Game/Custom/ArkLogo.ArkLogo"}], "Packs": ["a.json"]},
     {"$schema": "pack.schema.json", "EmojiPath": "/Game/E/", "EmojiArray": ["e", "f"]}, True, 0),
    ({"UsePermissions": False}, PACK, True, 0),
    ({"UsePermissions": "yes"}, PACK, False, 2),
    ({"UsePermissions": True}, PACK, False, 1),
    ({"UsePermissions": True, "PermissionsGroups": []}, PACK, False, 1),
    ({"UsePermissions": True, "PermissionsGroups": None}, PACK, False, 1),
    ({"PermissionsGroups": ["Admins", 5]}, PACK, False, 2),
    ({"PermissionsGroups": 5}, PACK, False, 2),
    ({"RemapEmoji": [{"Name": "r", "Path": 7}]}, PACK, False, 2),
    ({"RemapEmoji": [{"Path": "/Game/R.R"}]}, PACK, False, 1),
    ({"RemapEmoji": [{"Name": "r"}]}, PACK, False, 1),
    ({"RemapEmoji": [{"Name": "big smile", "Path": "/Game/R.R"}]}, PACK, False, 1),
    ({"RemapEmoji": [{"Name": "r", "Path": "/Game/R.R", "Size": 2}]}, PACK, False, 1),
    ({"RemapEmoji": {"Name": "r", "Path": "/Game/R.R"}}, PACK, False, 2),
    ({"RemapEmoji": "r"}, PACK, False, 2),
    ({"usePermissions": True}, PACK, False, 1),
    ({"Packs": 5}, PACK, False, 1),
    ([], PACK, False, 2),
    ({}, {"EmojiPath": "/Game/E", "EmojiArray": ["e"]}, False, 1),
    ({}, {"EmojiArray": ["e"]}, False, 1),
    # No EmojiArray loads as an empty one: the checker's warning, not refused.
    ({}, {"EmojiPath": "/Game/E/"}, True, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": []}, False, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e", "e"]}, False, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e", 3]}, False, 2),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["a:b"]}, False, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": "a:b"}, False, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": ["e"], "Author": "me"}, False, 1),
    ({}, ["e"], False, 2),
    ({"EmojiListCommand": "/emojis", "MaxEmojiPerMessage": 5, "AllowEscape": True, "BlockTypedMarkup": False},
     PACK, True, 0),
    ({"EmojiListCommand": 3}, PACK, False, 2),
    ({"EmojiListCommand": "emojis"}, PACK, False, 1),
    ({"EmojiListCommand": "/my emojis"}, PACK, False, 1),
    ({"EmojiListCommand": ""}, PACK, False, 1),
    ({"MaxEmojiPerMessage": -1}, PACK, False, 2),
    ({"MaxEmojiPerMessage": 2.5}, PACK, False, 2),
    ({"AllowEscape": "yes"}, PACK, False, 2),
    ({"BlockTypedMarkup": 1}, PACK, False, 2),
    ({"Groups": ["VIP"]}, PACK, False, 1),
    ({}, dict(PACK, Groups=["VIP", "Staff"]), True, 0),
    ({}, dict(PACK, Groups=[]), False, 1),
    ({}, dict(PACK, Groups=["VIP", 1]), False, 2),
    # The forms the README allows: valid, whatever the checker has to say
    # about what they mean (a cap of 0 shows no picture; null Groups admit
    # nobody; null EmojiArray maps nothing).
    ({"MaxEmojiPerMessage": 0}, PACK, True, 1),
    ({"UsePermissions": True, "PermissionsGroups": "Admins", "Packs": "a.json"}, PACK, True, 0),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": "e"}, True, 0),
    ({}, dict(PACK, Groups="VIP"), True, 0),
    ({"PermissionsGroups": None, "RemapEmoji": None, "Packs": None}, PACK, True, 1),
    ({}, dict(PACK, Groups=None), True, 1),
    ({}, {"EmojiPath": "/Game/E/", "EmojiArray": None}, True, 1),
    ({"Usage": {"Enabled": True}}, PACK, True, 0),
    ({"Usage": {"Enabled": False, "FlushSeconds": 30, "Sqlite": "stats/usage.sqlite3"}}, PACK, True, 0),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Port": 3306, "User": "glyphwork", "Database": "glyphwork",
                                           "Server": "island"}}}, PACK, True, 0),
    ({"Usage": {}}, PACK, False, 1),
    ({"Usage": True}, PACK, False, 2),
    ({"Usage": {"Enabled": "yes"}}, PACK, False, 2),
    ({"Usage": {"Enabled": True, "FlushSeconds": 0}}, PACK, False, 2),
    ({"Usage": {"Enabled": True, "Sqlite": ""}}, PACK, False, 2),
    ({"Usage": {"Enabled": True, "Sqlite": "a.sqlite3", "Mysql": {"Host": "db", "Server": "island"}}}, PACK, False, 1),
    ({"Usage": {"Enabled": True, "Mysql": {"Server": "island"}}}, PACK, False, 1),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db"}}}, PACK, False, 1),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Server": "island", "Password": "secret"}}}, PACK, False, 1),
    ({"Usage": {"Enabled": True, "Mysql": {"Host": "db", "Server": "island", "Port": 0}}}, PACK, False, 2),
    ({"Usage": {"Enabled": True, "Flush": 5}}, PACK, False, 1),
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

    def test_readme_examples_validate(self):
        blocks = re.findall(r"```json\n(.*?)```", pathlib.Path(ARGS.source, "README.md").read_text(encoding="utf-8"),
                            re.S)
        self.assertGreaterEqual(len(blocks), 4, "the README's json examples")
        for block in blocks:
            document = json.loads(block)
            validator = self.pack if "EmojiArray" in document or "EmojiPath" in document else self.config
            with self.subTest(example=block):
                self.assertEqual([], [e.message for e in validator.iter_errors(document)])

    def test_schema_and_checker_agree_on_samples(self):
        for config, pack, valid, status in SAMPLES:
            with self.subTest(config=config, pack=pack):
                schema_valid = self.config.is_valid(config) and self.pack.is_valid(pack)
                self.assertEqual(valid, schema_valid)
                with tempfile.TemporaryDirectory() as root:
                    folder = pathlib.Path(root, PLUGIN)
                    (folder / "Packs").mkdir(parents=True)
                    (folder / "config.json").write_text(json.dumps(config), encoding="utf-8")
                    (folder / "Packs" / "a.json").write_text(json.dumps(pack), encoding="utf-8")
                    run = subprocess.run([ARGS.check, "--root", root, "--content", "none"], capture_output=True,
                                         text=True)
                    self.assertEqual(status, run.returncode, run.stdout + run.stderr)
                # What the checker finds clean the schemas accept; what it
                # calls an error they refuse.
                self.assertTrue(schema_valid or status > 0)
                self.assertTrue(not schema_valid or status < 2)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True, help="the repository's top folder")
    parser.add_argument("--check", required=True, help="the glyphwork-check program")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)

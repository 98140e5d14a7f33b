#!/usr/bin/python3
"""Checks a JSON document against a JSON Schema (draft 2020-12) with Debian's python3-jsonschema.

Usage: validate_json.py SCHEMA DOCUMENT
Prints each problem with where it is and exits 1 when the document does not validate.
"""
import json
import sys

import jsonschema


def main():
    schema_path, document_path = sys.argv[1], sys.argv[2]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    with open(document_path, encoding="utf-8") as f:
        document = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema, format_checker=validator_class.FORMAT_CHECKER)
    problems = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
    for problem in problems:
        where = "/".join(str(p) for p in problem.absolute_path) or "(document)"
        print(f"{where}: {problem.message}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

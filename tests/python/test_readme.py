"""The README's Python example does what the README says it prints."""

from conftest import SOURCE_DIR, run_python


def test_the_readme_example_prints_what_the_readme_shows(tmp_path):
    readme = (SOURCE_DIR / "README.md").read_text(encoding="utf-8")
    example, after = readme.split("```python\n", 1)[1].split("```\n", 1)
    shown = after.split("```text\n", 1)[1].split("```\n", 1)[0]
    (tmp_path / "data").symlink_to(SOURCE_DIR / "data")
    result = run_python(example, tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == shown

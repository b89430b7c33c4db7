"""DataSet answers of a .NET service (Mono's System.Data writes them) read as
named, typed tables, beside zeep's raw view of the same rows."""

from __future__ import annotations

import datetime
from decimal import Decimal

import pytest

import orvex

UTC = datetime.timezone.utc


def _zeep_rows(zeep_client, operation: str) -> dict[str, list[dict[str, str]]]:
    """The rows of a DataSet answer as zeep's call brings them (raw: zeep
    itself cannot read the answer against the schema inside it), read from
    the diffgram field by field with lxml; rows before changes and row
    errors left out."""
    from lxml import etree

    with zeep_client.settings(raw_response=True):
        answer = etree.fromstring(getattr(zeep_client.service, operation)().content)
    tables: dict[str, list[dict[str, str]]] = {}
    for diffgram in answer.iter("{urn:schemas-microsoft-com:xml-diffgram-v1}diffgram"):
        for data in diffgram:
            if data.tag.startswith("{urn:schemas-microsoft-com:xml-diffgram-v1}"):
                continue
            for row in data:
                tables.setdefault(row.tag, []).append({field.tag: field.text or "" for field in row})
    return tables


@pytest.mark.parametrize("operation, names", [
    ("GetShop", ["Customers", "Orders"]),
    ("GetEditedShop", ["Customers", "Orders"]),
    ("GetEmptyShop", ["Customers", "Orders"]),
    ("GetCustomers", ["Customers"]),
])
def test_a_dataset_answer_is_a_list_of_named_typed_tables(asmx_url: str, operation: str,
                                                          names: list[str]) -> None:
    location = asmx_url + "DataSets.asmx?wsdl"
    tables = orvex.Client(location).call(operation)
    assert [table.name for table in tables] == names
    assert [column.name for column in tables[0].columns] == ["Id", "Name", "Since", "Credit Limit", "Key"]
    if operation == "GetEmptyShop":
        assert all(len(table) == 0 for table in tables)
        return
    customers = [dict(row) for row in tables[0]]
    assert customers[0]["Since"] == datetime.datetime(1999, 12, 31, tzinfo=UTC)
    assert customers[0]["Credit Limit"] == Decimal("1500.50")
    assert (customers[1]["Since"], customers[2]["Name"]) == (None, "")  # DBNull; an empty text
    # The same rows as zeep finds them in the raw diffgram, value by value.
    from test_wsdl import _zeep_client  # noqa: E402 - the offline zeep of the WSDL tests
    raw = _zeep_rows(_zeep_client(location), operation)
    for table in tables:
        theirs = raw.get(table.name, [])
        assert len(theirs) == len(table)
        for row, their_row in zip(table, theirs):
            for column in (c.name for c in table.columns):
                tag = column.replace(" ", "_x0020_")
                assert their_row.get(tag) == row.text(column), (table.name, column)

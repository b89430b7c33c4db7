// The services behind the .asmx pages: Service.asmx (document/literal),
// DataSets.asmx (DataSet and DataTable answers, which System.Data writes as a
// schema and a diffgram) and Encoded.asmx (SOAP-encoded answers, where the
// serializer writes objects apart and points to them).
using System;
using System.Data;
using System.Globalization;
using System.Linq;
using System.Web.Services;
using System.Web.Services.Protocols;
using System.Xml.Serialization;

namespace Orvex.Test.Asmx {

// Service.asmx answers as the sample service of soap_service.py does, under
// its own namespace, so that the two peers share their tests.
public class Order {
    public int Id;
    public string Customer;
    public decimal Amount;
    public bool Paid;
    public DateTime Placed;
    [XmlElement(IsNullable = true)]
    public string Note;  // written as xsi:nil when null
}

public class Customer {
    public int Id;
    public string Name;
    public string City;
    [XmlElement(DataType = "date")]
    public DateTime Since;
    public decimal Balance;
}

public static class Orders {
    public static readonly Order[] All = {
        new Order { Id = 1, Customer = "ACME", Amount = 12.50m, Paid = true,
                    Placed = new DateTime(2005, 3, 7, 10, 20, 30, DateTimeKind.Utc),
                    Note = "first & <urgent>" },
        new Order { Id = 2, Customer = "ACME", Amount = 99m, Paid = false,
                    Placed = new DateTime(2005, 3, 8, 8, 0, 0, DateTimeKind.Utc) },
        new Order { Id = 3, Customer = "Globex", Amount = 7.25m, Paid = true,
                    Placed = new DateTime(2006, 1, 2, 3, 4, 5, DateTimeKind.Utc), Note = "third" },
    };
}

[WebService(Namespace = "http://orvex.test/asmx/")]
[WebServiceBinding(ConformsTo = WsiProfiles.BasicProfile1_1)]
public class Service : WebService {
    [WebMethod]
    public int Add(int a, int b) { return a + b; }

    [WebMethod]
    public string Echo(string text) { return text; }

    [WebMethod]
    public Customer GetCustomer(int id) {
        if (id != 7) return null;
        return new Customer { Id = 7, Name = "ACME", City = "Springfield", Since = new DateTime(1999, 12, 31),
                              Balance = 1500.50m };
    }

    // Written as xsi:nil.
    [WebMethod]
    [return: XmlElement(IsNullable = true)]
    public Customer FindCustomer(int id) { return null; }

    [WebMethod]
    public Order[] GetOrders(string customer) {
        return Orders.All.Where(o => string.IsNullOrEmpty(customer) || o.Customer == customer).ToArray();
    }

    [WebMethod]
    public decimal SumOrders(Order[] orders) { return orders == null ? 0 : orders.Sum(o => o.Amount); }

    [WebMethod]
    public int CountPaid(Order[] orders) { return orders == null ? 0 : orders.Count(o => o.Paid); }

    [WebMethod]
    public string Fail(string reason) { throw new SoapException(reason, SoapException.ServerFaultCode); }
}

[WebService(Namespace = "http://orvex.test/asmx/")]
[WebServiceBinding(ConformsTo = WsiProfiles.BasicProfile1_1)]
public class DataSets : WebService {
    // Two tables, with DBNull cells, dates, decimals and a column named with a blank.
    [WebMethod]
    public DataSet GetShop() {
        DataSet shop = EmptyShop();
        DataTable customers = shop.Tables["Customers"];
        customers.Rows.Add(1, "ACME", new DateTime(1999, 12, 31, 0, 0, 0, DateTimeKind.Utc), 1500.50m,
                           new Guid("0f8fad5b-d9cb-469f-a165-70867728950e"));
        customers.Rows.Add(2, "Globex", DBNull.Value, DBNull.Value, DBNull.Value);
        customers.Rows.Add(3, "", DBNull.Value, 0m, DBNull.Value);  // an empty text, not a null one
        foreach (Order o in Orders.All)
            shop.Tables["Orders"].Rows.Add(o.Id, o.Customer == "ACME" ? 1 : 2, o.Placed, o.Amount, o.Paid,
                                           (object)o.Note ?? DBNull.Value);
        return shop;
    }

    // Edited after its rows were accepted: the diffgram keeps the rows as they
    // were (diffgr:before) and a row's error (diffgr:errors) beside the data.
    [WebMethod]
    public DataSet GetEditedShop() {
        DataSet shop = GetShop();
        shop.AcceptChanges();
        DataTable orders = shop.Tables["Orders"];
        orders.Rows[1]["Paid"] = true;
        orders.Rows[1].RowError = "paid late";
        orders.Rows[2].Delete();
        orders.Rows.Add(4, 2, new DateTime(2007, 7, 7, 7, 7, 7, DateTimeKind.Utc), 1.5m, false, "new");
        return shop;
    }

    // The same tables with no rows.
    [WebMethod]
    public DataSet GetEmptyShop() { return EmptyShop(); }

    [WebMethod]
    public DataTable GetCustomers() {
        DataTable customers = GetShop().Tables["Customers"];
        customers.DataSet.Tables.Remove(customers);
        return customers;
    }

    static DataSet EmptyShop() {
        var shop = new DataSet("Shop");
        shop.Locale = CultureInfo.InvariantCulture;
        DataTable customers = shop.Tables.Add("Customers");
        customers.Columns.Add("Id", typeof(int));
        customers.Columns.Add("Name", typeof(string));
        customers.Columns.Add("Since", typeof(DateTime)).DateTimeMode = DataSetDateTime.Utc;
        customers.Columns.Add("Credit Limit", typeof(decimal));
        customers.Columns.Add("Key", typeof(Guid));  // a type XML Schema lacks: msdata:DataType
        DataTable orders = shop.Tables.Add("Orders");
        orders.Columns.Add("Id", typeof(int));
        orders.Columns.Add("CustomerId", typeof(int));
        orders.Columns.Add("Placed", typeof(DateTime)).DateTimeMode = DataSetDateTime.Utc;
        orders.Columns.Add("Amount", typeof(decimal));
        orders.Columns.Add("Paid", typeof(bool));
        orders.Columns.Add("Note", typeof(string));
        return shop;
    }
}

public class Part {
    public int Id;
    public string Name;
    public decimal Price;
    public DateTime Made;
}

// rpc/encoded throughout.
[WebService(Namespace = "http://orvex.test/asmx/encoded/")]
[SoapRpcService]
public class Encoded : WebService {
    static Part NewPart(int id, string name, decimal price) {
        return new Part { Id = id, Name = name, Price = price,
                          Made = new DateTime(2010, 5, id, 12, 0, 0, DateTimeKind.Utc) };
    }

    [WebMethod]
    public int Add(int a, int b) { return a + b; }

    [WebMethod]
    public Part GetPart(int id) { return NewPart(id, "Bolt", 0.25m); }

    // The first two items are one object.
    [WebMethod]
    public Part[] GetParts() {
        Part shared = NewPart(1, "Bolt", 0.25m);
        return new[] { shared, shared, NewPart(2, "Nut", 0.10m) };
    }

    [WebMethod]
    public Part[] GetNoParts() { return new Part[0]; }
}

}
